#include "platform/local_client.h"

#include <QDeadlineTimer>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// Waits for `events` on the socket until the deadline; false on time-out or error.
bool waitFor(int socket, short events, const QDeadlineTimer& deadline)
{
    for (;;) {
        pollfd entry{socket, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        if (ready > 0)
            return (entry.revents & (events | POLLHUP)) != 0;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

int ConnectLocal(const std::string& path, int timeoutMs)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return -1;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return socket;
    // A full queue says EAGAIN: the listener is busy, give it the time allowed.
    const QDeadlineTimer deadline(timeoutMs);
    while ((errno == EAGAIN || errno == EINPROGRESS) && !deadline.hasExpired()) {
        ::usleep(10'000);
        if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 || errno == EISCONN)
            return socket;
    }
    ::close(socket);
    return -1;
}

bool SendAll(int socket, const std::string& text, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t now = ::send(socket, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (now > 0) {
            sent += static_cast<std::size_t>(now);
            continue;
        }
        if (now < 0 && errno == EINTR)
            continue;
        if (now < 0 && errno == EAGAIN && waitFor(socket, POLLOUT, deadline))
            continue;
        return false;
    }
    return true;
}

bool AwaitLine(int socket, std::size_t maxBytes, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    std::size_t received = 0;
    char buffer[128];
    while (received <= maxBytes && waitFor(socket, POLLIN, deadline)) {
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return got == 0;   // closed after answering, or before
        received += static_cast<std::size_t>(got);
        if (std::memchr(buffer, '\n', static_cast<std::size_t>(got)))
            return true;
    }
    return false;
}

} // namespace platform
