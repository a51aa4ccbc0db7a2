// Every callback of a Qt object (a notifier, a timer, the look-up) runs
// through guarded(): it belongs to one open(), numbered by generation_, and
// is dropped once close() or a later open() moved on. Notices go out through
// notify() only, which tells its caller whether the receiver closed, reopened
// or destroyed the transport meanwhile. Qt objects that may be in the middle
// of their own signal are deleted later, never at once.
#include "check/dual_stack_transport.h"

#include "net/sock_error.h"
#include "platform/datagram_arrival.h"
#include "platform/winsock.h"

#include <QSocketNotifier>
#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace check {
namespace {

constexpr std::size_t kStreamReadBytes = 4096;   // more than any answer we ask for
constexpr std::size_t kDatagramRoom = 1024;      // an NTP reply with extensions fits

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// In the socket layer's words, as the Time protocol's log has always shown
// them: "Error 10061 (Connection refused) connecting".
std::string errorText(int error, int context)
{
    return SocketErrorMessage(platform::ws::ErrorFromErrno(error), context);
}

// What a datagram socket hears back when its address cannot be reached.
bool addressUnreachable(int error)
{
    return error == ECONNREFUSED || error == EHOSTUNREACH || error == ENETUNREACH;
}

bool nothingWaits(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

platform::SocketType socketTypeOf(TransportKind kind)
{
    return kind == TransportKind::Stream ? platform::SocketType::Stream : platform::SocketType::Datagram;
}

QTimer* singleShotTimer()
{
    auto* timer = new QTimer;
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);   // a coarse one may fire 5% early
    return timer;
}

} // namespace

template <typename Body>
void DualStackTransport::guarded(std::uint64_t generation, Body body)
{
    if (generation != generation_)
        return;
    const std::shared_ptr<bool> alive = alive_;
    ++busy_;
    body();
    if (*alive)
        --busy_;
}

DualStackTransport::DualStackTransport()
    : openTimer_(singleShotTimer()), attemptTimer_(singleShotTimer()), answerTimer_(singleShotTimer())
{
    QObject::connect(openTimer_, &QTimer::timeout, [this] { guarded(generation_, [this] { openTimeRanOut(); }); });
    QObject::connect(answerTimer_, &QTimer::timeout, [this] { guarded(generation_, [this] { answerTimeRanOut(); }); });
    // A stream's next attempt; a datagram conversation's move to its next address.
    QObject::connect(attemptTimer_, &QTimer::timeout, [this] {
        guarded(generation_, [this] {
            if (endpoint_.kind == TransportKind::Stream)
                startNextAttempt();
            else
                moveOn();
        });
    });
}

DualStackTransport::~DualStackTransport()
{
    *alive_ = false;
    ++generation_;
    lookup_.reset();
    releaseSockets();
    for (QTimer* timer : {openTimer_, attemptTimer_, answerTimer_}) {
        timer->stop();
        timer->disconnect();
        if (busy_ > 0)
            timer->deleteLater();
        else
            delete timer;
    }
}

bool DualStackTransport::notify(Notice notice, const std::string& text, bool openFailed)
{
    if (!receiver_)
        return true;
    const std::uint64_t generation = generation_;
    const std::shared_ptr<bool> alive = alive_;
    TransportReceiver& receiver = *receiver_;
    ++busy_;
    switch (notice) {
    case Notice::LookingUp:
        receiver.transportLookingUp();
        break;
    case Notice::Connecting:
        receiver.transportConnecting(text);
        break;
    case Notice::Connected:
        receiver.transportConnected();
        break;
    case Notice::Failed:
        receiver.transportFailed(text, openFailed);
        break;
    case Notice::Readable:
        receiver.transportReadable();
        break;
    case Notice::Closed:
        receiver.transportClosed();
        break;
    case Notice::TimedOut:
        receiver.transportTimedOut();
        break;
    }
    if (!*alive)
        return false;
    --busy_;
    return generation == generation_;
}

void DualStackTransport::open(const Endpoint& endpoint)
{
    close();
    endpoint_ = endpoint;
    open_ = true;
    if (endpoint_.timeOutSeconds > 0)
        openTimer_->start(milliseconds(endpoint_.timeOutSeconds * 1000));
    // Always: the log says it even for an address, as it always has.
    if (!notify(Notice::LookingUp))
        return;
    const platform::HostText host = platform::ParseHost(endpoint_.host);
    if (!host.error.empty()) {
        giveUp(host.error, true);
        return;
    }
    const platform::PortNumber port = platform::ResolvePort(endpoint_.port, socketTypeOf(endpoint_.kind));
    if (!port.error.empty()) {
        giveUp(port.error, true);
        return;
    }
    hostLabel_ = host.numeric ? std::string() : host.host;
    if (host.numeric) {
        addressesKnown(platform::ResolveNumericHost(host.host, port.port, socketTypeOf(endpoint_.kind)));
        return;
    }
    if (!lookup_)
        lookup_ = std::make_unique<platform::AddressLookup>();
    const std::uint64_t generation = generation_;
    lookup_->start(host.host, port.port, socketTypeOf(endpoint_.kind), [this, generation](platform::LookupResult result) {
        guarded(generation, [&] { addressesKnown(std::move(result)); });
    });
}

void DualStackTransport::close()
{
    ++generation_;
    if (lookup_)
        lookup_->cancel();
    openTimer_->stop();
    attemptTimer_->stop();
    answerTimer_->stop();
    releaseSockets();
    addresses_.clear();
    nextAddress_ = 0;
    current_ = 0;
    lastFailure_.clear();
    anySocketMade_ = false;
    open_ = false;
    moving_ = false;
    answerArmed_ = false;
}

bool DualStackTransport::isOpen() const
{
    return open_;
}

void DualStackTransport::giveUp(const std::string& reason, bool openFailed)
{
    close();
    notify(Notice::Failed, reason, openFailed);
}

void DualStackTransport::addressesKnown(platform::LookupResult result)
{
    if (!result.error.empty()) {
        giveUp(result.error, true);
        return;
    }
    addresses_ = std::move(result.addresses);
    if (endpoint_.kind == TransportKind::Stream)
        startNextAttempt();
    else
        openDatagram(0);
}

std::string DualStackTransport::label(std::size_t address) const
{
    const platform::SocketAddress& chosen = addresses_[address];
    if (chosen.family() != AF_INET6)
        return chosen.numeric();
    const std::string bracketed = "[" + chosen.numeric() + "]";
    return hostLabel_.empty() ? bracketed : hostLabel_ + " " + bracketed;
}

void DualStackTransport::startNextAttempt()
{
    while (nextAddress_ < addresses_.size()) {
        const std::size_t index = nextAddress_++;
        const platform::SocketAddress& address = addresses_[index];
        current_ = index;
        if (!notify(Notice::Connecting, label(index)))
            return;
        const int socket = ::socket(address.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (socket < 0) {
            lastFailure_ = errorText(errno, ctxCreatingSocket);
            continue;
        }
        anySocketMade_ = true;
        if (::connect(socket, address.get(), address.length) == 0) {
            attempts_.push_back({socket, index, nullptr});
            streamConnected(socket);
            return;
        }
        if (errno != EINPROGRESS) {
            lastFailure_ = errorText(errno, ctxConnecting);
            ::close(socket);
            continue;
        }
        auto* writable = new QSocketNotifier(socket, QSocketNotifier::Write);
        const std::uint64_t generation = generation_;
        QObject::connect(writable, &QSocketNotifier::activated, [this, generation, socket] {
            guarded(generation, [this, socket] { attemptFinished(socket); });
        });
        attempts_.push_back({socket, index, writable});
        if (nextAddress_ < addresses_.size())
            attemptTimer_->start(kConnectionAttemptDelay);
        return;
    }
    if (attempts_.empty())
        giveUp(lastFailure_.empty() ? "no address to connect to" : lastFailure_, !anySocketMade_);
}

void DualStackTransport::attemptFinished(int socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error == 0) {
        streamConnected(socket);
        return;
    }
    lastFailure_ = errorText(error, ctxConnecting);
    const auto failed = std::find_if(attempts_.begin(), attempts_.end(), [&](const Attempt& a) { return a.socket == socket; });
    if (failed != attempts_.end()) {
        retire(failed->writable);
        ::close(failed->socket);
        attempts_.erase(failed);
    }
    // One failed: the next starts at once, its delay counted from then.
    attemptTimer_->stop();
    startNextAttempt();
}

void DualStackTransport::streamConnected(int socket)
{
    for (Attempt& attempt : attempts_) {
        retire(attempt.writable);
        if (attempt.socket == socket)
            current_ = attempt.address;
        else
            ::close(attempt.socket);
    }
    attempts_.clear();
    attemptTimer_->stop();
    openTimer_->stop();
    socket_ = socket;
    watchReading();
    notify(Notice::Connected);
}

void DualStackTransport::openDatagram(std::size_t first)
{
    for (std::size_t index = first; index < addresses_.size(); ++index) {
        const platform::SocketAddress& address = addresses_[index];
        current_ = index;
        if (!notify(Notice::Connecting, label(index)))
            return;
        const int socket = ::socket(address.family(), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (socket < 0) {
            lastFailure_ = errorText(errno, ctxCreatingSocket);
            continue;
        }
        anySocketMade_ = true;
        platform::StampArrivals(socket);
        // Connected, so that an ICMP refusal comes back to us as an error.
        if (::connect(socket, address.get(), address.length) != 0) {
            lastFailure_ = errorText(errno, ctxConnecting);
            ::close(socket);
            continue;
        }
        openTimer_->stop();
        socket_ = socket;
        watchReading();
        notify(Notice::Connected);
        return;
    }
    giveUp(lastFailure_.empty() ? "no address to send to" : lastFailure_, !anySocketMade_);
}

bool DualStackTransport::hasNextAddress() const
{
    return endpoint_.kind == TransportKind::Datagram && current_ + 1 < addresses_.size();
}

void DualStackTransport::moveOnLater()
{
    // Not from inside receive() or send(): the engine hears of the move
    // from the event loop, as of anything else.
    moving_ = true;
    retire(readable_);
    readable_ = nullptr;
    ::close(socket_);
    socket_ = -1;
    attemptTimer_->start(0);
}

void DualStackTransport::moveOn()
{
    moving_ = false;
    retire(readable_);
    readable_ = nullptr;
    if (socket_ >= 0)
        ::close(socket_);
    socket_ = -1;
    const std::uint64_t generation = generation_;
    openDatagram(current_ + 1);
    if (generation == generation_ && socket_ >= 0 && answerArmed_)
        startAnswerShare();
}

void DualStackTransport::watchReading()
{
    readable_ = new QSocketNotifier(socket_, QSocketNotifier::Read);
    const std::uint64_t generation = generation_;
    QObject::connect(readable_, &QSocketNotifier::activated, [this, generation] {
        guarded(generation, [this] { readinessSeen(); });
    });
}

void DualStackTransport::readinessSeen()
{
    // Level-triggered: quiet until the receiver has read.
    readable_->setEnabled(false);
    if (endpoint_.kind == TransportKind::Stream) {
        char byte = 0;
        const ssize_t got = ::recv(socket_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (got < 0 && nothingWaits(errno)) {
            readable_->setEnabled(true);
            return;
        }
        if (got <= 0) {   // orderly close or reset, once every byte before it was read
            close();
            notify(Notice::Closed);
            return;
        }
    }
    notify(Notice::Readable);
}

Received DualStackTransport::receive()
{
    Received received;
    if (socket_ < 0 || moving_)
        return received;
    received.overIpv6 = peerIsIpv6();
    if (endpoint_.kind == TransportKind::Stream) {
        char buffer[kStreamReadBytes];
        const ssize_t got = ::recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            received.status = Received::Status::Data;
            received.bytes.assign(buffer, static_cast<std::size_t>(got));
        }
        // A close or reset is reported by the notifier, after what came before it.
    } else {
        platform::ArrivedDatagram datagram = platform::ReceiveDatagram(socket_, kDatagramRoom);
        if (datagram.error == 0) {
            received.status = Received::Status::Data;
            received.bytes = std::move(datagram.bytes);
            received.arrivalRealtimeNs = datagram.arrivalRealtimeNs;
        } else if (addressUnreachable(datagram.error) && hasNextAddress()) {
            moveOnLater();
            return received;
        } else if (!nothingWaits(datagram.error)) {
            received.status = Received::Status::Error;
            received.error = errorText(datagram.error, ctxReceiving);
        }
    }
    if (readable_)
        readable_->setEnabled(true);
    return received;
}

bool DualStackTransport::send(const std::string& bytes, std::string& error)
{
    if (moving_)
        return true;   // the engine sends anew once the next address is connected
    if (socket_ < 0) {
        error = "not connected";
        return false;
    }
    ssize_t sent;
    do {
        sent = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    if (sent == static_cast<ssize_t>(bytes.size()))
        return true;
    const int cause = sent < 0 ? errno : EMSGSIZE;
    if (sent < 0 && addressUnreachable(cause) && hasNextAddress()) {
        moveOnLater();
        return true;
    }
    error = sent < 0 ? errorText(cause, ctxSending) : "only part of the request was sent";
    return false;
}

void DualStackTransport::armTimeOut()
{
    if (!open_ || endpoint_.timeOutSeconds <= 0)
        return;   // 0 waits for ever
    answerArmed_ = true;
    answerDeadline_ = Clock::now() + std::chrono::seconds(endpoint_.timeOutSeconds);
    startAnswerShare();
}

void DualStackTransport::disarmTimeOut()
{
    answerArmed_ = false;
    answerTimer_->stop();
}

void DualStackTransport::startAnswerShare()
{
    const auto left = std::max(milliseconds(0), std::chrono::duration_cast<milliseconds>(answerDeadline_ - Clock::now()));
    milliseconds wait = left;
    if (hasNextAddress()) {
        const auto addressesLeft = static_cast<long>(addresses_.size() - current_);
        wait = std::max(left / addressesLeft, std::min(kLeastAddressShare, left));
    }
    answerTimer_->start(wait);
}

void DualStackTransport::answerTimeRanOut()
{
    if (hasNextAddress() && Clock::now() < answerDeadline_) {
        moveOn();
        return;
    }
    answerArmed_ = false;
    notify(Notice::TimedOut);
}

void DualStackTransport::openTimeRanOut()
{
    // Still looking up or connecting: nothing to keep.
    close();
    notify(Notice::TimedOut);
}

std::string DualStackTransport::peerAddress() const
{
    return current_ < addresses_.size() ? addresses_[current_].numeric() : std::string();
}

bool DualStackTransport::peerIsIpv6() const
{
    return current_ < addresses_.size() && addresses_[current_].family() == AF_INET6;
}

void DualStackTransport::releaseSockets()
{
    for (Attempt& attempt : attempts_) {
        retire(attempt.writable);
        ::close(attempt.socket);
    }
    attempts_.clear();
    retire(readable_);
    readable_ = nullptr;
    if (socket_ >= 0)
        ::close(socket_);
    socket_ = -1;
}

void DualStackTransport::retire(QSocketNotifier* notifier)
{
    if (!notifier)
        return;
    // Before its descriptor closes, and for good: a later descriptor may reuse the number.
    notifier->setEnabled(false);
    notifier->disconnect();
    if (busy_ > 0)
        notifier->deleteLater();
    else
        delete notifier;
}

} // namespace check
