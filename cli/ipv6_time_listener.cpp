#include "cli/ipv6_time_listener.h"

#include "net/sock_error.h"
#include "platform/address_lookup.h"
#include "platform/winsock.h"

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace cli {
namespace {

constexpr std::chrono::milliseconds kAcceptPause{100};   // as the IPv4 service rests
constexpr int kListenBacklog = 64;

std::string withoutBrackets(const std::string& address)
{
    if (address.size() >= 2 && address.front() == '[' && address.back() == ']')
        return address.substr(1, address.size() - 2);
    return address;
}

// "::1 port 5000", or "127.0.0.1 port 5000" for an IPv4 client of "::".
std::string peerText(const sockaddr_in6& peer)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (IN6_IS_ADDR_V4MAPPED(&peer.sin6_addr))
        ::inet_ntop(AF_INET, &peer.sin6_addr.s6_addr[12], text, sizeof text);
    else
        ::inet_ntop(AF_INET6, &peer.sin6_addr, text, sizeof text);
    return std::string(text) + " port " + std::to_string(ntohs(peer.sin6_port));
}

std::string sentLine(const sockaddr_in6& peer, const TimestampBytes& value)
{
    const std::uint32_t count = (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
                                (std::uint32_t{value[2]} << 8) | value[3];
    return peerText(peer) + " sent " + std::to_string(count);
}

[[noreturn]] void raiseErrno(int context)
{
    RaiseSocketError(platform::ws::ErrorFromErrno(errno), context);
}

} // namespace

bool IsIpv6BindAddress(const std::string& address)
{
    return address.find(':') != std::string::npos;
}

Ipv6TimeListener::Ipv6TimeListener(std::string address, std::string port, bool udp, Hooks hooks)
    : address_(withoutBrackets(address)), port_(std::move(port)), udp_(udp), hooks_(std::move(hooks))
{
}

Ipv6TimeListener::~Ipv6TimeListener()
{
    ready_.reset();
    if (socket_ >= 0)
        ::close(socket_);
}

void Ipv6TimeListener::start()
{
    sockaddr_in6 bound{};
    bound.sin6_family = AF_INET6;
    if (::inet_pton(AF_INET6, address_.c_str(), &bound.sin6_addr) != 1)
        RaiseSocketError(platform::ws::WSAEINVAL, ctxBinding);
    std::uint16_t port = 0;
    if (port_ != "0") {
        const platform::PortNumber number =
            platform::ResolvePort(port_, udp_ ? platform::SocketType::Datagram : platform::SocketType::Stream);
        if (!number.error.empty())
            RaiseSocketError(platform::ws::WSAEINVAL, ctxBinding);
        port = number.port;
    }
    bound.sin6_port = htons(port);
    socket_ = ::socket(AF_INET6, (udp_ ? SOCK_DGRAM : SOCK_STREAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket_ < 0)
        raiseErrno(ctxCreatingSocket);
    // "::" is every address of both families; any other takes its own family only.
    const int v6Only = IN6_IS_ADDR_UNSPECIFIED(&bound.sin6_addr) ? 0 : 1;
    ::setsockopt(socket_, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only);
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0)
        raiseErrno(ctxBinding);
    if (!udp_ && ::listen(socket_, kListenBacklog) != 0)
        raiseErrno(ctxListening);
    ready_ = std::make_unique<QSocketNotifier>(socket_, QSocketNotifier::Read);
    QObject::connect(ready_.get(), &QSocketNotifier::activated, [this] { udp_ ? answerDatagram() : acceptOne(); });
    acceptPause_ = std::make_unique<QTimer>();
    acceptPause_->setSingleShot(true);
    acceptPause_->setInterval(kAcceptPause);
    QObject::connect(acceptPause_.get(), &QTimer::timeout, [this] { ready_->setEnabled(true); });
}

std::uint16_t Ipv6TimeListener::localPort() const
{
    sockaddr_in6 bound{};
    socklen_t length = sizeof bound;
    if (socket_ < 0 || ::getsockname(socket_, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return 0;
    return ntohs(bound.sin6_port);
}

void Ipv6TimeListener::acceptOne()
{
    sockaddr_in6 peer{};
    socklen_t length = sizeof peer;
    const int connection = ::accept4(socket_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (connection < 0) {
        if (errno != EMFILE && errno != ENFILE && errno != ENOBUFS && errno != ENOMEM)
            return;   // that client went away before its accept
        if (!outOfDescriptors_) {
            outOfDescriptors_ = true;
            hooks_.log("error: " + SocketErrorMessage(platform::ws::ErrorFromErrno(errno), ctxNone) +
                       " accepting; waiting clients wait for free descriptors");
        }
        // The listener stays ready while clients wait: rest instead of spinning.
        ready_->setEnabled(false);
        acceptPause_->start();
        return;
    }
    outOfDescriptors_ = false;
    const TimestampBytes value = hooks_.now();
    // Four bytes always fit a fresh connection's send buffer.
    if (::send(connection, value.data(), value.size(), MSG_NOSIGNAL | MSG_DONTWAIT) == 4) {
        hooks_.answered();
        hooks_.log(sentLine(peer, value));
    } else {
        hooks_.log(peerText(peer) + ": " + SocketErrorMessage(platform::ws::ErrorFromErrno(errno), ctxSending));
    }
    ::close(connection);
}

void Ipv6TimeListener::answerDatagram()
{
    // Room for the largest datagram, so no request is ever too long to take.
    static std::vector<char> request(65536);
    sockaddr_in6 peer{};
    socklen_t length = sizeof peer;
    const ssize_t received = ::recvfrom(socket_, request.data(), request.size(), MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&peer), &length);
    if (received < 0) {
        // A refusal from an earlier client's port; the socket serves on.
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            hooks_.log("error: " + SocketErrorMessage(platform::ws::ErrorFromErrno(errno), ctxReceiving));
        return;
    }
    const TimestampBytes value = hooks_.now();
    if (::sendto(socket_, value.data(), value.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&peer), length) != 4) {
        hooks_.log("error: " + SocketErrorMessage(platform::ws::ErrorFromErrno(errno), ctxSending));
        return;
    }
    hooks_.answered();
    hooks_.log(sentLine(peer, value));
}

} // namespace cli
