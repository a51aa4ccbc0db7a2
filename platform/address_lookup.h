#pragma once
// A host and port as users write them, resolved to every address they name:
// IPv6 and IPv4 in the order a dual-stack client should try them (the
// families taken in turn, IPv6 first). A numeric host is answered at once
// without a thread; a name is resolved on a worker thread and its answer
// comes back on the main thread, never after the look-up was cancelled.

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class SocketType { Stream, Datagram };

// The host part of what the user typed: brackets removed, and whether it is
// an address already (no look-up needed).
struct HostText {
    std::string host;      // "2001:db8::1" for "[2001:db8::1]"
    bool numeric = false;
    std::string error;     // non-empty: the text is no host, and why
};
HostText ParseHost(const std::string& text);

// A port number or service name ("time", "ntp") for the given socket type.
struct PortNumber {
    std::uint16_t port = 0;
    std::string error;
};
PortNumber ResolvePort(const std::string& text, SocketType type);

struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    // "192.0.2.1", "2001:db8::1" (with "%scope" for a link-local one).
    std::string numeric() const;
};

struct LookupResult {
    std::vector<SocketAddress> addresses;   // in the order to try them
    std::string error;                      // non-empty: none, and why
};

// Families in turn, IPv6 first; the order within a family is kept.
std::vector<SocketAddress> InterleaveFamilies(const std::vector<SocketAddress>& addresses);

// Resolves a numeric host on the spot; `host` as ParseHost gives it.
LookupResult ResolveNumericHost(const std::string& host, std::uint16_t port, SocketType type);

// One asynchronous look-up of a name at a time. Main thread only.
class AddressLookup {
public:
    using Done = std::function<void(LookupResult)>;
    AddressLookup();
    ~AddressLookup();   // cancels
    AddressLookup(const AddressLookup&) = delete;
    AddressLookup& operator=(const AddressLookup&) = delete;

    // Cancels any look-up still running, then starts this one; `done` runs
    // later on the main thread, from the event loop.
    void start(const std::string& name, std::uint16_t port, SocketType type, Done done);
    void cancel();
    bool running() const;

    // Worker threads started by any look-up so far (a numeric host starts none).
    static int threadsStarted();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
