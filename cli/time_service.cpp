#include "cli/time_service.h"

#include "net/client_socket.h"
#include "net/datagram_socket.h"
#include "net/notify_queue.h"
#include "net/sock_error.h"

#include <sys/socket.h>

#include <chrono>

namespace cli {
namespace {
// How long accepting rests once descriptors ran out.
constexpr std::chrono::milliseconds kAcceptPause{100};
} // namespace

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
        server_.OnDisconnect = [this](TSockCtrl*, TSocketBase* connection) {
            try {
                connection->Close();
            } catch (const ESockError& error) {
                logConnectionError(connection->Address, error);
            }
        };
        server_.OnAcceptFailed = [this](TSockCtrl*, TSocketBase* listening) { acceptFailed(listening); };
        acceptPause_.setSingleShot(true);
        acceptPause_.setInterval(kAcceptPause);
        QObject::connect(&acceptPause_, &QTimer::timeout, [this] { watchForConnections(true); });
    }
}

// Out of descriptors, accept fails while the clients still wait, and the
// listener is ready again at once: without a pause that is a busy loop.
void TimeService::acceptFailed(TSocketBase* listening)
{
    if (listening->LastError != ws::WSAEMFILE && listening->LastError != ws::WSAENOBUFS)
        return;   // that client went away before its accept: nobody else waits because of it
    if (!outOfDescriptors_) {
        outOfDescriptors_ = true;
        log_("error: " + SocketErrorMessage(listening->LastError, ctxNone) + " accepting; waiting clients wait for " +
             "free descriptors");
    }
    watchForConnections(false);
    acceptPause_.start();
}

void TimeService::watchForConnections(bool on)
{
    TSocketBase* listening = server_.CurrentSocket();
    if (!listening || listening->Handle == ws::INVALID_SOCKET)
        return;
    WinsockAPI().WSAAsyncSelect(listening->Handle, server_.Window(), WM_SOCKETNOTIFY,
                                on ? ws::FD_ACCEPT | ws::FD_CLOSE : 0);
}

void TimeService::logConnectionError(const ws::SOCKADDR_IN& peer, const ESockError& error)
{
    log_(WinsockAPI().inet_ntoa(peer.sin_addr) + " port " + std::to_string(WinsockAPI().ntohs(peer.sin_port)) + ": " +
         error.what());
}

void TimeService::start()
{
    if (IsIpv6BindAddress(options_.bindAddress)) {
        ipv6_ = std::make_unique<Ipv6TimeListener>(
            options_.bindAddress, options_.port, options_.udp,
            Ipv6TimeListener::Hooks{log_, now_, [this] { ++answered_; }});
        ipv6_->start();
        return;
    }
    if (options_.udp)
        server_.Listen(SocketClassOf<TDatagramSocket>);
    else
        server_.Listen(SocketClassOf<TStreamSocket>, 64);
    boundPort_ = localPort();
}

std::uint16_t TimeService::localPort() const
{
    if (ipv6_)
        return ipv6_->localPort();
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
    outOfDescriptors_ = false;
    const TimestampBytes value = now_();
    // A client that reset meanwhile is one line of the log, like any client.
    try {
        // Four bytes always fit a fresh connection's send buffer.
        connection->Write(reinterpret_cast<const char*>(value.data()), 4);
        ++answered_;
        logClient(connection->Address, value);
        connection->Close();
    } catch (const ESockError& error) {
        logConnectionError(connection->Address, error);
    }
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
