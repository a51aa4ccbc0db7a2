#include "cli/time_service.h"

#include "net/client_socket.h"
#include "net/datagram_socket.h"
#include "net/sock_error.h"

#include <sys/socket.h>

#include <chrono>

namespace cli {

TimestampBytes TimestampFromUnixSeconds(std::int64_t seconds)
{
    // Modulo 2^32: after 2036 the count starts again from 0.
    const auto count = static_cast<std::uint32_t>(seconds + kSecondsFrom1900To1970);
    return {static_cast<std::uint8_t>(count >> 24), static_cast<std::uint8_t>(count >> 16),
            static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
}

TimestampBytes TimestampNow()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return TimestampFromUnixSeconds(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

TimeService::TimeService(TimeServiceOptions options, std::function<void(const std::string&)> log,
                         std::function<TimestampBytes()> now)
    : options_(std::move(options)), log_(std::move(log)), now_(std::move(now))
{
    server_.SetProtocol(options_.udp ? "udp" : "tcp");
    server_.SetPort(options_.port);
    server_.SetAddress(options_.bindAddress);
    server_.SetMaxConnections(options_.maxConnections);
    if (options_.udp) {
        server_.OnRead = [this](TSockCtrl*, TSocketBase* socket) { answerDatagram(socket); };
    } else {
        server_.OnAccept = [this](TSockCtrl*, TSocketBase* connection) { answerConnection(connection); };
        server_.OnRefuse = [this](TSockCtrl*, TSocketBase* connection) {
            log_(std::string("refused ") + WinsockAPI().inet_ntoa(connection->Address.sin_addr) + " port " +
                 std::to_string(WinsockAPI().ntohs(connection->Address.sin_port)) + ": too many connections");
        };
        // A client that closes first: its connection object is freed by our Close.
        server_.OnDisconnect = [](TSockCtrl*, TSocketBase* connection) { connection->Close(); };
    }
}

void TimeService::start()
{
    if (options_.udp)
        server_.Listen(SocketClassOf<TDatagramSocket>);
    else
        server_.Listen(SocketClassOf<TStreamSocket>, 64);
    boundPort_ = localPort();
}

std::uint16_t TimeService::localPort() const
{
    TSocketBase* listening = server_.CurrentSocket();
    if (!listening || listening->Handle == ws::INVALID_SOCKET)
        return 0;
    ws::SOCKADDR_IN bound;   // the platform's IPv4 address layout
    socklen_t length = sizeof bound;
    if (::getsockname(listening->Handle, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return 0;
    return WinsockAPI().ntohs(bound.sin_port);
}

void TimeService::logClient(const ws::SOCKADDR_IN& peer, const TimestampBytes& value)
{
    const std::uint32_t count = (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
                                (std::uint32_t{value[2]} << 8) | value[3];
    log_(WinsockAPI().inet_ntoa(peer.sin_addr) + " port " + std::to_string(WinsockAPI().ntohs(peer.sin_port)) +
         " sent " + std::to_string(count));
}

void TimeService::answerConnection(TSocketBase* connection)
{
    const TimestampBytes value = now_();
    // Four bytes always fit a fresh connection's send buffer.
    connection->Write(reinterpret_cast<const char*>(value.data()), 4);
    ++answered_;
    logClient(connection->Address, value);
    connection->Close();
}

void TimeService::answerDatagram(TSocketBase* socket)
{
    auto* datagram = static_cast<TDatagramSocket*>(socket);
    // Room for the largest datagram, so no request is ever too long to take.
    static char request[65536];
    ws::SOCKADDR_IN peer;
    int length = sizeof peer;
    TimestampBytes value;
    try {
        const int received = datagram->RecvFrom(request, sizeof request, &peer, &length);
        if (received < 0 || datagram->LastError == ws::WSAEWOULDBLOCK)
            return;
        value = now_();
        datagram->SendTo(WinsockAPI().inet_ntoa(peer.sin_addr), WinsockAPI().ntohs(peer.sin_port),
                         reinterpret_cast<const char*>(value.data()), 4);
    } catch (const ESockError& error) {
        // The failed call closed the socket; without a new bind one bad peer
        // would silence the service for everyone.
        log_(std::string("error: ") + error.what());
        server_.SetPort(std::to_string(boundPort_));
        server_.Listen(SocketClassOf<TDatagramSocket>);
        return;
    }
    ++answered_;
    logClient(peer, value);
}

} // namespace cli
