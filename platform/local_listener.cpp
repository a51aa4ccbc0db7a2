#include "platform/local_listener.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// Connections taken per wake-up, so that a flood cannot hold the loop.
constexpr int kAcceptsPerWakeUp = 64;
constexpr int kBacklog = 16;

int openSpare() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

} // namespace

LocalListener::LocalListener(std::function<void(int)> onConnection)
    : onConnection_(std::move(onConnection)), rest_(std::make_unique<QTimer>())
{
    rest_->setSingleShot(true);
    rest_->setInterval(kRestAfterExhaustion);
    QObject::connect(rest_.get(), &QTimer::timeout, [this] {
        if (spare_ < 0)
            spare_ = openSpare();
        notifier_->setEnabled(true);
        acceptWaiting();
    });
}

LocalListener::~LocalListener()
{
    notifier_.reset();
    if (listening_ >= 0) {
        ::unlink(path_.c_str());
        ::close(listening_);
    }
    if (spare_ >= 0)
        ::close(spare_);
}

std::string LocalListener::listen(const std::string& path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return "the path is longer than " + std::to_string(sizeof address.sun_path - 1) + " bytes";
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int descriptor = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor < 0)
        return std::strerror(errno);
    // Left behind by a copy that was killed: nobody listens on it any more.
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && S_ISSOCK(old.st_mode))
        ::unlink(path.c_str());
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(descriptor, kBacklog) != 0) {
        const std::string reason = std::strerror(errno);
        ::close(descriptor);
        return reason;
    }
    path_ = path;
    listening_ = descriptor;
    spare_ = openSpare();
    notifier_ = std::make_unique<QSocketNotifier>(listening_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { acceptWaiting(); });
    return {};
}

void LocalListener::acceptWaiting()
{
    for (int taken = 0; taken < kAcceptsPerWakeUp; ++taken) {
        const int peer = ::accept4(listening_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (peer >= 0) {
            onConnection_(peer);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            dropNewest();
        return;
    }
}

// Out of descriptors: the waiting connection would wake the loop forever, so
// it is taken with the spare one and closed; then a rest while peers go.
void LocalListener::dropNewest()
{
    if (spare_ >= 0) {
        ::close(spare_);
        spare_ = -1;
        const int peer = ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC);
        if (peer >= 0)
            ::close(peer);
        spare_ = openSpare();
    }
    notifier_->setEnabled(false);
    rest_->start();
}

} // namespace platform
