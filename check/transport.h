#pragma once
// What the check engine needs of the network and nothing more: open a
// conversation with a host and port, send, receive, close, and a time-out.
// Notices go to one receiver, fired from one guarded place in each
// implementation, so a handler that closes or reopens inside a notice cannot
// corrupt the transport that fired it. Implementations: the dual-stack one
// over getaddrinfo (net/), and a fake that drives the engine's tests.

#include <cstdint>
#include <optional>
#include <string>

namespace check {

enum class TransportKind { Stream, Datagram };

struct Endpoint {
    std::string host;          // as the user wrote it: name, 192.0.2.1, 2001:db8::1 or [2001:db8::1]
    std::string port;          // service name ("time", "ntp") or number
    TransportKind kind = TransportKind::Stream;
    int timeOutSeconds = 10;   // look-up, connect and each answer; 0 waits for ever
};

// One read: a datagram, or what a stream had waiting.
struct Received {
    enum class Status { Data, Nothing, Error };
    Status status = Status::Nothing;
    std::string bytes;
    // The kernel's CLOCK_REALTIME stamp of the datagram's arrival, when it gave one.
    std::optional<std::int64_t> arrivalRealtimeNs;
    std::string error;   // Error: why, in the socket layer's words ("Connection refused")
    bool overIpv6 = false;   // came from an IPv6 address
};

class TransportReceiver {
public:
    virtual ~TransportReceiver() = default;
    // The host is being resolved; fired by every open, numeric host or not,
    // since the check's log always begins with it.
    virtual void transportLookingUp() = 0;
    // A connection to `address` is being made; the text is as the log shows
    // it: "192.0.2.1" for IPv4, "name [2001:db8::1]" or "[2001:db8::1]" for IPv6.
    virtual void transportConnecting(const std::string& address) = 0;
    // Stream: the connection is made. Datagram: the socket is ready to send;
    // fired again when the transport moves to the name's next address.
    virtual void transportConnected() = 0;
    // No connection could be made (every address refused or unreachable, or
    // the look-up failed); `openFailed` when no socket could be made at all.
    virtual void transportFailed(const std::string& reason, bool openFailed) = 0;
    virtual void transportReadable() = 0;
    // The peer closed the stream (or reset it).
    virtual void transportClosed() = 0;
    // The armed time-out ran out on the last address.
    virtual void transportTimedOut() = 0;
};

class Transport {
public:
    virtual ~Transport() = default;
    // The receiver outlives the transport's use of it; nullptr: nobody listens.
    virtual void setReceiver(TransportReceiver* receiver) = 0;
    // Closes any earlier conversation, then resolves and connects; notices
    // follow, some may fire before open returns.
    virtual void open(const Endpoint& endpoint) = 0;
    // False when the bytes could not be sent; `error` says why.
    virtual bool send(const std::string& bytes, std::string& error) = 0;
    virtual Received receive() = 0;
    // Quiet: no notice fires for a close the owner asked for.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The answer's time-out, counted from now; a datagram transport with more
    // addresses moves on after its share of it.
    virtual void armTimeOut() = 0;
    virtual void disarmTimeOut() = 0;
    // The address in use, numeric ("192.0.2.1", "2001:db8::1"); empty before one is chosen.
    virtual std::string peerAddress() const = 0;
    // True when the address in use is IPv6.
    virtual bool peerIsIpv6() const = 0;
};

} // namespace check
