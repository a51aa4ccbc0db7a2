#pragma once
// The time service behind `tikora-cli serve`: answers each TCP connection
// with the four bytes of the current time and closes it; answers each UDP
// datagram with a four-byte datagram.

#include "cli/ipv6_time_listener.h"
#include "net/server_socket.h"
#include "net/sock_error.h"
#include "net/timestamp.h"

#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace cli {

struct TimeServiceOptions {
    std::string bindAddress = "127.0.0.1";
    std::string port = "time";
    bool udp = false;
    int maxConnections = 16;
};

// The current time as RFC 868 bytes (tests replace the clock).
TimestampBytes TimestampNow();
TimestampBytes TimestampFromUnixSeconds(std::int64_t seconds);

class TimeService {
public:
    TimeService(TimeServiceOptions options, std::function<void(const std::string&)> log,
                std::function<TimestampBytes()> now = TimestampNow);

    // Starts listening; raises ESockError when the address cannot be bound.
    void start();
    std::uint16_t localPort() const;
    TServerSocket& server() { return server_; }
    long answered() const { return answered_; }

private:
    void answerConnection(TSocketBase* connection);
    void answerDatagram(TSocketBase* socket);
    void logClient(const ws::SOCKADDR_IN& peer, const TimestampBytes& value);
    void acceptFailed(TSocketBase* listening);
    void logConnectionError(const ws::SOCKADDR_IN& peer, const ESockError& error);
    void watchForConnections(bool on);

    TimeServiceOptions options_;
    std::function<void(const std::string&)> log_;
    std::function<TimestampBytes()> now_;
    TServerSocket server_;
    std::unique_ptr<Ipv6TimeListener> ipv6_;   // for an IPv6 bind address, in place of server_
    long answered_ = 0;
    std::uint16_t boundPort_ = 0;   // the port actually bound, kept across a re-bind
    QTimer acceptPause_;            // while it runs, waiting clients wait for free descriptors
    bool outOfDescriptors_ = false; // logged once per spell, until an accept succeeds
};

} // namespace cli
