#pragma once
// The time service's socket for an IPv6 bind address. "::" takes both
// families (a dual-stack socket; IPv4 clients appear as their IPv4 address in
// the log); any other address only its own. The IPv4 binds keep the socket
// components, whose shape has no room for an IPv6 address.

#include "net/timestamp.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;
class QTimer;

namespace cli {

// True for an address the IPv4 components cannot take: "::", "::1", "[::1]".
bool IsIpv6BindAddress(const std::string& address);

class Ipv6TimeListener {
public:
    struct Hooks {
        std::function<void(const std::string&)> log;
        std::function<TimestampBytes()> now;
        std::function<void()> answered;
    };
    Ipv6TimeListener(std::string address, std::string port, bool udp, Hooks hooks);
    ~Ipv6TimeListener();
    Ipv6TimeListener(const Ipv6TimeListener&) = delete;
    Ipv6TimeListener& operator=(const Ipv6TimeListener&) = delete;

    // Raises ESockError with the socket layer's message when it cannot bind.
    void start();
    std::uint16_t localPort() const;

private:
    void acceptOne();
    void answerDatagram();

    std::string address_;
    std::string port_;
    bool udp_;
    Hooks hooks_;
    int socket_ = -1;
    std::unique_ptr<QSocketNotifier> ready_;
    std::unique_ptr<QTimer> acceptPause_;   // out of descriptors: waiting clients wait
    bool outOfDescriptors_ = false;
};

} // namespace cli
