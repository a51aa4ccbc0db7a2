// The Winsock socket calls over non-blocking IPv4 POSIX sockets.
#include "platform/winsock.h"

#include "platform/async_lookup.h"
#include "platform/async_select.h"
#include "platform/winsock_internal.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace platform::ws {
namespace detail {
namespace {

int startCount = 0;

std::unordered_map<SOCKET, SocketEntry>& socketTable()
{
    static std::unordered_map<SOCKET, SocketEntry> table;
    return table;
}

} // namespace

SocketEntry* findSocket(SOCKET s)
{
    auto found = socketTable().find(s);
    return found == socketTable().end() ? nullptr : &found->second;
}

bool socketsStarted()
{
    return startCount > 0;
}

} // namespace detail

namespace {

using detail::fail;
using detail::SocketEntry;

constexpr std::uint16_t kVersion11 = 0x0101;   // low byte major, high byte minor

int failFromErrno()
{
    return fail(ErrorFromErrno(errno));
}

// The checks every socket call starts with; nullptr means the error is set.
SocketEntry* usableSocket(SOCKET s)
{
    if (!detail::socketsStarted()) {
        WSASetLastError(WSANOTINITIALISED);
        return nullptr;
    }
    SocketEntry* entry = detail::findSocket(s);
    if (!entry)
        WSASetLastError(WSAENOTSOCK);
    return entry;
}

bool toPosixAddress(const SOCKADDR_IN* address, int length, sockaddr_in& out)
{
    if (address == nullptr || length < static_cast<int>(sizeof(SOCKADDR_IN))) {
        WSASetLastError(WSAEFAULT);
        return false;
    }
    if (address->sin_family != AF_INET_) {
        WSASetLastError(WSAEAFNOSUPPORT);
        return false;
    }
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = address->sin_port;
    out.sin_addr.s_addr = address->sin_addr;
    return true;
}

// Fills a caller's optional address out-parameter; false (WSAEFAULT) when too short.
bool fromPosixAddress(const sockaddr_in& in, SOCKADDR_IN* address, int* length)
{
    if (address == nullptr)
        return true;
    if (length == nullptr || *length < static_cast<int>(sizeof(SOCKADDR_IN))) {
        WSASetLastError(WSAEFAULT);
        return false;
    }
    *address = SOCKADDR_IN{};
    address->sin_port = in.sin_port;
    address->sin_addr = in.sin_addr.s_addr;
    *length = sizeof(SOCKADDR_IN);
    return true;
}

// Winsock reports a datagram larger than the buffer as WSAEMSGSIZE (the
// buffer then holds its first part); Linux truncates silently unless asked.
int datagramResult(ssize_t fullLength, int count)
{
    if (fullLength > count)
        return fail(WSAEMSGSIZE);
    return static_cast<int>(fullLength);
}

} // namespace

int WSAStartup(std::uint16_t versionRequested, WSADATA* data)
{
    const unsigned int major = versionRequested & 0xFFu;
    const unsigned int minor = versionRequested >> 8;
    if (major < 1 || (major == 1 && minor < 1))
        return WSAVERNOTSUPPORTED;
    if (data == nullptr)
        return WSAEFAULT;
    *data = WSADATA{};
    data->wVersion = kVersion11;
    data->wHighVersion = kVersion11;
    std::strncpy(data->szDescription, "Tikora Windows Sockets 1.1 over POSIX sockets",
                 sizeof data->szDescription - 1);
    std::strncpy(data->szSystemStatus, "Running", sizeof data->szSystemStatus - 1);
    data->iMaxSockets = 0x7FFF;
    data->iMaxUdpDg = kMaxUdpDatagram;
    if (detail::startCount++ == 0)
        detail::startLookups();
    return 0;
}

int WSACleanup()
{
    if (!detail::socketsStarted())
        return fail(WSANOTINITIALISED);
    if (--detail::startCount == 0) {
        // The caller's sockets stay open; only the notifications end.
        detail::stopAllWatching();
        detail::stopLookups();
    }
    return 0;
}

bool WSAIsBlocking()
{
    return false;   // no call of this layer ever blocks
}

int WSACancelBlockingCall()
{
    return 0;
}

SOCKET socket(int family, int type, int protocol)
{
    if (!detail::socketsStarted())
        return fail(WSANOTINITIALISED);
    if (family != AF_INET_)
        return fail(WSAEAFNOSUPPORT);
    if (type != SOCK_STREAM_ && type != SOCK_DGRAM_)
        return fail(WSAESOCKTNOSUPPORT);
    const int posixType = type == SOCK_STREAM_ ? SOCK_STREAM : SOCK_DGRAM;
    const int s = ::socket(AF_INET, posixType | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
    if (s < 0)
        return failFromErrno();
    SocketEntry entry;
    entry.type = type;
    detail::socketTable().insert_or_assign(s, entry);
    return s;
}

int bind(SOCKET s, const SOCKADDR_IN* address, int length)
{
    sockaddr_in local;
    if (!usableSocket(s) || !toPosixAddress(address, length, local))
        return SOCKET_ERROR;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return failFromErrno();
    return 0;
}

int listen(SOCKET s, int backlog)
{
    SocketEntry* entry = usableSocket(s);
    if (!entry)
        return SOCKET_ERROR;
    if (::listen(s, backlog) != 0)
        return failFromErrno();
    entry->listening = true;
    detail::socketStateChanged(s);
    return 0;
}

SOCKET accept(SOCKET s, SOCKADDR_IN* address, int* length)
{
    if (!usableSocket(s))
        return SOCKET_ERROR;
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const int accepted = ::accept4(s, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
    const int savedErrno = errno;
    // Winsock re-enables FD_ACCEPT on every accept call, successful or not.
    detail::acceptCalled(s);
    if (accepted < 0)
        return fail(ErrorFromErrno(savedErrno));
    if (!fromPosixAddress(peer, address, length)) {
        ::close(accepted);
        return SOCKET_ERROR;
    }
    SocketEntry entry;
    entry.connected = true;
    detail::socketTable().insert_or_assign(accepted, entry);
    detail::inheritWatch(s, accepted);
    return accepted;
}

int connect(SOCKET s, const SOCKADDR_IN* address, int length)
{
    SocketEntry* entry = usableSocket(s);
    sockaddr_in remote;
    if (!entry || !toPosixAddress(address, length, remote))
        return SOCKET_ERROR;
    const int result = ::connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    const int savedErrno = errno;
    if (entry->type == SOCK_DGRAM_) {
        if (result != 0)
            return fail(ErrorFromErrno(savedErrno));
        entry->connected = true;
        return 0;
    }
    // Even an immediate success is reported by FD_CONNECT, as for any other connect.
    if (result == 0 || savedErrno == EINPROGRESS) {
        entry->connecting = true;
        detail::socketStateChanged(s);
    }
    if (result != 0)
        return fail(ErrorFromErrno(savedErrno));
    return 0;
}

int recv(SOCKET s, char* buffer, int count, int flags)
{
    SocketEntry* entry = usableSocket(s);
    if (!entry)
        return SOCKET_ERROR;
    if (buffer == nullptr || count < 0)
        return fail(WSAEFAULT);
    const int posixFlags = (flags & (MSG_OOB_ | MSG_PEEK_)) | (entry->type == SOCK_DGRAM_ ? MSG_TRUNC : 0);
    const ssize_t received = ::recv(s, buffer, static_cast<size_t>(count), posixFlags);
    const int savedErrno = errno;
    detail::receiveCalled(s);
    if (received < 0)
        return fail(ErrorFromErrno(savedErrno));
    return entry->type == SOCK_DGRAM_ ? datagramResult(received, count) : static_cast<int>(received);
}

int recvfrom(SOCKET s, char* buffer, int count, int flags, SOCKADDR_IN* from, int* fromLength)
{
    SocketEntry* entry = usableSocket(s);
    if (!entry)
        return SOCKET_ERROR;
    if (buffer == nullptr || count < 0)
        return fail(WSAEFAULT);
    const int posixFlags = (flags & (MSG_OOB_ | MSG_PEEK_)) | (entry->type == SOCK_DGRAM_ ? MSG_TRUNC : 0);
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    const ssize_t received = ::recvfrom(s, buffer, static_cast<size_t>(count), posixFlags,
                                        reinterpret_cast<sockaddr*>(&peer), &peerLength);
    const int savedErrno = errno;
    detail::receiveCalled(s);
    if (received < 0)
        return fail(ErrorFromErrno(savedErrno));
    if (!fromPosixAddress(peer, from, fromLength))
        return SOCKET_ERROR;
    return entry->type == SOCK_DGRAM_ ? datagramResult(received, count) : static_cast<int>(received);
}

namespace {

// A send that would block arms the write notification for when it can go on.
int sendResult(SOCKET s, ssize_t sent)
{
    if (sent < 0) {
        const int savedErrno = errno;
        if (savedErrno == EAGAIN)
            detail::sendWouldBlock(s);
        return fail(ErrorFromErrno(savedErrno));
    }
    return static_cast<int>(sent);
}

} // namespace

int send(SOCKET s, const char* buffer, int count, int flags)
{
    if (!usableSocket(s))
        return SOCKET_ERROR;
    if (buffer == nullptr || count < 0)
        return fail(WSAEFAULT);
    // MSG_NOSIGNAL: a closed peer is an error number, never SIGPIPE.
    const ssize_t sent = ::send(s, buffer, static_cast<size_t>(count), (flags & MSG_OOB_) | MSG_NOSIGNAL);
    return sendResult(s, sent);
}

int sendto(SOCKET s, const char* buffer, int count, int flags, const SOCKADDR_IN* to, int toLength)
{
    SocketEntry* entry = usableSocket(s);
    sockaddr_in remote;
    if (!entry || !toPosixAddress(to, toLength, remote))
        return SOCKET_ERROR;
    if (buffer == nullptr || count < 0)
        return fail(WSAEFAULT);
    if (entry->type == SOCK_DGRAM_ && count > kMaxUdpDatagram)
        return fail(WSAEMSGSIZE);
    const ssize_t sent = ::sendto(s, buffer, static_cast<size_t>(count), (flags & MSG_OOB_) | MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    return sendResult(s, sent);
}

int closesocket(SOCKET s)
{
    if (!usableSocket(s))
        return SOCKET_ERROR;
    // The notifiers go before the descriptor, so nothing of `s` is posted any more.
    detail::stopWatching(s);
    detail::socketTable().erase(s);
    if (::close(s) != 0 && errno != EINTR)
        return failFromErrno();
    return 0;
}

int ioctlsocket(SOCKET s, long command, std::uint32_t* argument)
{
    if (!usableSocket(s))
        return SOCKET_ERROR;
    if (argument == nullptr)
        return fail(WSAEFAULT);
    if (command == FIONBIO_)
        return *argument != 0 ? 0 : fail(WSAEINVAL);   // sockets here are always non-blocking
    if (command != FIONREAD_)
        return fail(WSAEINVAL);
    int waiting = 0;
    if (::ioctl(s, FIONREAD, &waiting) != 0)
        return failFromErrno();
    *argument = static_cast<std::uint32_t>(waiting);
    return 0;
}

int WSAAsyncSelect(SOCKET s, HWND window, unsigned int msg, long mask)
{
    if (!usableSocket(s))
        return SOCKET_ERROR;
    if (mask != 0 && windowFromHandle(window) == nullptr)
        return fail(WSAEINVAL);
    detail::watchSocket(s, window, msg, mask);
    return 0;
}

} // namespace platform::ws
