#pragma once
// The Windows Sockets 1.1 calls the socket layer is written against, over
// POSIX sockets (IPv4, non-blocking). Results and error numbers are those of
// Winsock: -1 on failure with WSAGetLastError() giving a 10000-range number.
// Notifications and look-up completions arrive as messages to a MessageWindow.

#include "platform/messages.h"

#include <cstdint>

namespace platform::ws {

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;
using HANDLE = std::uintptr_t;   // asynchronous request handle; 0 = failure

constexpr int AF_INET_ = 2;
constexpr int SOCK_STREAM_ = 1;
constexpr int SOCK_DGRAM_ = 2;
constexpr std::uint32_t INADDR_NONE_ = 0xFFFFFFFFu;
constexpr long FIONREAD_ = 0x4004667F;

// Event codes and mask bits of WSAAsyncSelect.
constexpr unsigned int FD_READ = 1;
constexpr unsigned int FD_WRITE = 2;
constexpr unsigned int FD_OOB = 4;
constexpr unsigned int FD_ACCEPT = 8;
constexpr unsigned int FD_CONNECT = 16;
constexpr unsigned int FD_CLOSE = 32;

// Windows Sockets error numbers.
enum : int {
    WSAEINTR = 10004, WSAEBADF = 10009, WSAEACCES = 10013, WSAEFAULT = 10014,
    WSAEINVAL = 10022, WSAEMFILE = 10024, WSAEWOULDBLOCK = 10035, WSAEINPROGRESS = 10036,
    WSAEALREADY = 10037, WSAENOTSOCK = 10038, WSAEDESTADDRREQ = 10039, WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041, WSAENOPROTOOPT = 10042, WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044, WSAEOPNOTSUPP = 10045, WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047, WSAEADDRINUSE = 10048, WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050, WSAENETUNREACH = 10051, WSAENETRESET = 10052,
    WSAECONNABORTED = 10053, WSAECONNRESET = 10054, WSAENOBUFS = 10055, WSAEISCONN = 10056,
    WSAENOTCONN = 10057, WSAESHUTDOWN = 10058, WSAETOOMANYREFS = 10059, WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061, WSAELOOP = 10062, WSAENAMETOOLONG = 10063, WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065, WSAENOTEMPTY = 10066, WSAEPROCLIM = 10067, WSAEUSERS = 10068,
    WSAEDQUOT = 10069, WSAESTALE = 10070, WSAEREMOTE = 10071, WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092, WSANOTINITIALISED = 10093, WSAEDISCON = 10101,
    WSAHOST_NOT_FOUND = 11001, WSATRY_AGAIN = 11002, WSANO_RECOVERY = 11003, WSANO_DATA = 11004,
};

// Winsock's 16-byte IPv4 address: family, port (network order), address
// (network order), 8 zero bytes.
struct SOCKADDR_IN {
    std::uint16_t sin_family = AF_INET_;
    std::uint16_t sin_port = 0;
    std::uint32_t sin_addr = 0;
    char sin_zero[8] = {};
};
static_assert(sizeof(SOCKADDR_IN) == 16);

struct WSADATA {
    std::uint16_t wVersion = 0;
    std::uint16_t wHighVersion = 0;
    char szDescription[257] = {};
    char szSystemStatus[129] = {};
    std::uint16_t iMaxSockets = 0;
    std::uint16_t iMaxUdpDg = 0;
};

// Host entry written into the caller's buffer by WSAAsyncGetHostByName; all
// pointers point into that same buffer.
struct HOSTENT {
    char* h_name;
    char** h_aliases;
    std::int16_t h_addrtype;
    std::int16_t h_length;
    char** h_addr_list;
};

// Service entry written into the caller's buffer by WSAAsyncGetServByName/Port.
struct SERVENT {
    char* s_name;
    char** s_aliases;
    std::int16_t s_port;   // network order
    char* s_proto;
};

int WSAStartup(std::uint16_t versionRequested, WSADATA* data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);
bool WSAIsBlocking();
int WSACancelBlockingCall();

SOCKET socket(int family, int type, int protocol);
int bind(SOCKET s, const SOCKADDR_IN* address, int length);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, SOCKADDR_IN* address, int* length);
int connect(SOCKET s, const SOCKADDR_IN* address, int length);
int recv(SOCKET s, char* buffer, int count, int flags);
int recvfrom(SOCKET s, char* buffer, int count, int flags, SOCKADDR_IN* from, int* fromLength);
int send(SOCKET s, const char* buffer, int count, int flags);
int sendto(SOCKET s, const char* buffer, int count, int flags, const SOCKADDR_IN* to, int toLength);
int closesocket(SOCKET s);
int ioctlsocket(SOCKET s, long command, std::uint32_t* argument);

// Parenthesised so that glibc's macros of the same names do not expand here.
std::uint16_t (htons)(std::uint16_t value);
std::uint16_t (ntohs)(std::uint16_t value);
std::uint32_t (htonl)(std::uint32_t value);
std::uint32_t (ntohl)(std::uint32_t value);
std::uint32_t inet_addr(const char* text);
// Dotted text of an address in network order; valid until the next call.
const char* inet_ntoa(std::uint32_t address);

// Asks for notifications of the socket's events in `mask` as message `msg` to
// `window`: word = socket, long = event (low 16 bits) | error (high 16 bits).
// A mask of 0 stops them.
int WSAAsyncSelect(SOCKET s, HWND window, unsigned int msg, long mask);

// Look-ups on a worker thread; the result is copied into `buffer` on the main
// thread just before message `msg` reaches `window` (word = request handle,
// long = error << 16 | result length). 0 on failure (WSAGetLastError tells).
HANDLE WSAAsyncGetHostByName(HWND window, unsigned int msg, const char* name, char* buffer, int bufferLength);
HANDLE WSAAsyncGetServByName(HWND window, unsigned int msg, const char* name, const char* protocol,
                             char* buffer, int bufferLength);
HANDLE WSAAsyncGetServByPort(HWND window, unsigned int msg, int portNetworkOrder, const char* protocol,
                             char* buffer, int bufferLength);
// After this no message of the request is posted and its buffer is not touched.
int WSACancelAsyncRequest(HANDLE request);

// The Winsock number for a POSIX errno value (0 for 0; an errno without a
// Winsock counterpart gives WSAEINVAL).
int ErrorFromErrno(int posixError);
// The Winsock number (11001-11004) for a getaddrinfo result (0 for 0).
int ErrorFromResolver(int resolverError);

// ioctlsocket commands besides FIONREAD_: FIONBIO_ accepts only "non-blocking".
constexpr long FIONBIO_ = static_cast<long>(0x8004667EL);
// recv/send flags, the same bits in Winsock and Linux.
constexpr int MSG_OOB_ = 1;
constexpr int MSG_PEEK_ = 2;
// The largest datagram sendto accepts (WSADATA::iMaxUdpDg).
constexpr int kMaxUdpDatagram = 65507;
// Host names longer than this complete with WSAHOST_NOT_FOUND without a look-up.
constexpr int kMaxHostNameLength = 255;

} // namespace platform::ws
