// Windows Sockets error numbers: the per-thread last error and the mappings
// from POSIX errno and resolver (getaddrinfo) results.
#include "platform/winsock.h"

#include <cerrno>
#include <netdb.h>

namespace platform::ws {
namespace {

struct ErrorPair {
    int posix;
    int winsock;
};

// errno → Winsock; EWOULDBLOCK equals EAGAIN on Linux, so one row serves both.
constexpr ErrorPair kErrnoTable[] = {
    {EAGAIN, WSAEWOULDBLOCK},
    {EINPROGRESS, WSAEWOULDBLOCK},   // a non-blocking connect "would block" in Winsock
    {EALREADY, WSAEALREADY},
    {EINTR, WSAEINTR},
    {EBADF, WSAENOTSOCK},
    {ENOTSOCK, WSAENOTSOCK},
    {EACCES, WSAEACCES},
    {EPERM, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {EPFNOSUPPORT, WSAEPFNOSUPPORT},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {EPIPE, WSAESHUTDOWN},
    {ESHUTDOWN, WSAESHUTDOWN},
    {ETOOMANYREFS, WSAETOOMANYREFS},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {ELOOP, WSAELOOP},
    {ENAMETOOLONG, WSAENAMETOOLONG},
    {EHOSTDOWN, WSAEHOSTDOWN},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
    {ENOTEMPTY, WSAENOTEMPTY},
    {EUSERS, WSAEUSERS},
    {EDQUOT, WSAEDQUOT},
    {ESTALE, WSAESTALE},
    {EREMOTE, WSAEREMOTE},
};

// getaddrinfo result → Winsock's host look-up errors.
constexpr ErrorPair kResolverTable[] = {
    {EAI_NONAME, WSAHOST_NOT_FOUND},
    {EAI_AGAIN, WSATRY_AGAIN},
    {EAI_FAIL, WSANO_RECOVERY},
    {EAI_MEMORY, WSANO_RECOVERY},
    {EAI_SYSTEM, WSANO_RECOVERY},
    {EAI_NODATA, WSANO_DATA},        // the name exists but has no address
    {EAI_ADDRFAMILY, WSANO_DATA},    // the name exists but has no IPv4 address
};

thread_local int lastError = 0;

} // namespace

int ErrorFromErrno(int posixError)
{
    if (posixError == 0)
        return 0;
    for (const ErrorPair& pair : kErrnoTable)
        if (pair.posix == posixError)
            return pair.winsock;
    // An errno with no Winsock counterpart still has to read as a failure.
    return WSAEINVAL;
}

int ErrorFromResolver(int resolverError)
{
    if (resolverError == 0)
        return 0;
    for (const ErrorPair& pair : kResolverTable)
        if (pair.posix == resolverError)
            return pair.winsock;
    // Bad flags, family or service: the request itself was refused.
    return WSANO_RECOVERY;
}

int WSAGetLastError()
{
    return lastError;
}

void WSASetLastError(int error)
{
    lastError = error;
}

} // namespace platform::ws
