// Start-up, the plain socket calls, error numbers and dotted addresses.
#include "winsock_test_support.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netdb.h>
#include <string>

namespace winsock_test {
namespace {

TEST(WinsockStartup, FillsVersionOneOneAndTheDatagramLimit)
{
    ws::WSADATA data;
    ASSERT_EQ(ws::WSAStartup(257, &data), 0);
    EXPECT_EQ(data.wVersion, 0x0101);
    EXPECT_EQ(data.iMaxUdpDg, 65507);
    EXPECT_EQ(ws::WSACleanup(), 0);
}

TEST(WinsockStartup, RefusesVersionsBelowOneOne)
{
    ws::WSADATA data;
    EXPECT_EQ(ws::WSAStartup(0x0001, &data), ws::WSAVERNOTSUPPORTED);   // 1.0
    EXPECT_EQ(ws::WSAStartup(0x0000, &data), ws::WSAVERNOTSUPPORTED);
    // A refused start-up leaves the library stopped.
    EXPECT_EQ(ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
}

TEST(WinsockStartup, CallsBeforeStartupFailButConversionsWork)
{
    EXPECT_EQ(ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
    EXPECT_EQ(ws::WSACleanup(), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSACancelAsyncRequest(1), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
    EXPECT_EQ(ws::inet_addr("10.0.0.1"), htonl(0x0A000001));
    EXPECT_EQ((ws::htons)(0x1234), htons(0x1234));   // parenthesised: glibc macro
    EXPECT_STREQ(ws::inet_ntoa(htonl(0x7F000001)), "127.0.0.1");
}

using WinsockCalls = WinsockTest;

TEST_F(WinsockCalls, ForeignHandlesAreNotSockets)
{
    Fd foreign(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    char byte = 0;
    EXPECT_EQ(ws::send(foreign.fd, &byte, 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAENOTSOCK);
    EXPECT_EQ(ws::closesocket(foreign.fd), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAENOTSOCK);
    EXPECT_EQ(ws::recv(-5, &byte, 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAENOTSOCK);
}

TEST_F(WinsockCalls, UnsupportedFamilyAndTypeAreRefused)
{
    EXPECT_EQ(ws::socket(10, ws::SOCK_STREAM_, 0), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEAFNOSUPPORT);
    EXPECT_EQ(ws::socket(ws::AF_INET_, 3, 0), ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAESOCKTNOSUPPORT);
}

TEST_F(WinsockCalls, SocketsAreNonBlockingAndCloseOnExec)
{
    const ws::SOCKET s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    ASSERT_NE(s, ws::INVALID_SOCKET);
    EXPECT_TRUE(::fcntl(s, F_GETFL) & O_NONBLOCK);
    EXPECT_TRUE(::fcntl(s, F_GETFD) & FD_CLOEXEC);
    char byte;
    EXPECT_EQ(ws::recv(s, &byte, 1, 0), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAENOTCONN);
    ws::closesocket(s);
}

TEST_F(WinsockCalls, BindingABusyPortGivesAddressInUse)
{
    Fd busy(plainListener());
    const ws::SOCKET s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    const ws::SOCKADDR_IN address = winsockLoopback(localPort(busy.fd));
    EXPECT_EQ(ws::bind(s, &address, sizeof address), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEADDRINUSE);
    EXPECT_EQ(ws::bind(s, &address, 8), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEFAULT);
    ws::closesocket(s);
}

TEST_F(WinsockCalls, SendingToAClosedPeerIsAnErrorNotASignal)
{
    // Default SIGPIPE action: a send without MSG_NOSIGNAL would end the test program.
    struct sigaction previous{};
    struct sigaction fatal{};
    fatal.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &fatal, &previous);

    Fd listener(plainListener());
    const ws::SOCKET s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    const ws::SOCKADDR_IN address = winsockLoopback(localPort(listener.fd));
    ws::connect(s, &address, sizeof address);
    Fd peer(::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC));
    const linger abortive{1, 0};
    ::setsockopt(peer.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    peer.reset();

    int error = 0;
    for (int attempt = 0; attempt < 100 && error == 0; ++attempt) {
        if (ws::send(s, "data", 4, 0) == ws::SOCKET_ERROR && ws::WSAGetLastError() != ws::WSAEWOULDBLOCK)
            error = ws::WSAGetLastError();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_TRUE(error == ws::WSAECONNRESET || error == ws::WSAESHUTDOWN) << error;
    ws::closesocket(s);
}

TEST_F(WinsockCalls, DatagramLargerThanTheBufferIsMessageTooLong)
{
    const ws::SOCKET receiver = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    const ws::SOCKADDR_IN any = winsockLoopback(0);
    ASSERT_EQ(ws::bind(receiver, &any, sizeof any), 0);
    const ws::SOCKADDR_IN target = winsockLoopback(localPort(receiver));
    ASSERT_EQ(ws::sendto(receiver, "0123456789", 10, 0, &target, sizeof target), 10);
    std::string tooBig(65508, 'x');
    EXPECT_EQ(ws::sendto(receiver, tooBig.data(), static_cast<int>(tooBig.size()), 0, &target, sizeof target),
              ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEMSGSIZE);

    char buffer[4];
    ASSERT_TRUE(pumpUntil([&] {
        std::uint32_t waiting = 0;
        return ws::ioctlsocket(receiver, ws::FIONREAD_, &waiting) == 0 && waiting > 0;
    }));
    EXPECT_EQ(ws::recvfrom(receiver, buffer, sizeof buffer, 0, nullptr, nullptr), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEMSGSIZE);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    ws::closesocket(receiver);
}

TEST(WinsockErrors, LastErrorBelongsToTheCallingThread)
{
    ws::WSASetLastError(ws::WSAECONNREFUSED);
    int seenByOther = -1;
    std::thread other([&] {
        seenByOther = ws::WSAGetLastError();
        ws::WSASetLastError(ws::WSAETIMEDOUT);
    });
    other.join();
    EXPECT_EQ(seenByOther, 0);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAECONNREFUSED);
}

TEST(WinsockErrors, ErrnoValuesMapToWinsockNumbers)
{
    const struct {
        int posix;
        int winsock;
    } expected[] = {
        {0, 0}, {EWOULDBLOCK, 10035}, {EAGAIN, 10035}, {EINPROGRESS, 10035}, {ECONNREFUSED, 10061},
        {ETIMEDOUT, 10060}, {ENETUNREACH, 10051}, {EHOSTUNREACH, 10065}, {ECONNRESET, 10054},
        {EADDRINUSE, 10048}, {EADDRNOTAVAIL, 10049}, {EACCES, 10013}, {EPERM, 10013}, {EBADF, 10038},
        {ENOTSOCK, 10038}, {EINVAL, 10022}, {EMFILE, 10024}, {ENFILE, 10024}, {EMSGSIZE, 10040},
        {ENOTCONN, 10057}, {EISCONN, 10056}, {EALREADY, 10037}, {ENOBUFS, 10055}, {ENOMEM, 10055},
        {ECONNABORTED, 10053}, {EPIPE, 10058}, {ENETDOWN, 10050}, {EAFNOSUPPORT, 10047},
        {EPROTONOSUPPORT, 10043}, {EINTR, 10004}, {EIO, 10022},
    };
    for (const auto& row : expected)
        EXPECT_EQ(ws::ErrorFromErrno(row.posix), row.winsock) << "errno " << row.posix;
}

TEST(WinsockErrors, ResolverResultsMapToHostErrors)
{
    EXPECT_EQ(ws::ErrorFromResolver(0), 0);
    EXPECT_EQ(ws::ErrorFromResolver(EAI_NONAME), ws::WSAHOST_NOT_FOUND);
    EXPECT_EQ(ws::ErrorFromResolver(EAI_AGAIN), ws::WSATRY_AGAIN);
    EXPECT_EQ(ws::ErrorFromResolver(EAI_FAIL), ws::WSANO_RECOVERY);
    EXPECT_EQ(ws::ErrorFromResolver(EAI_MEMORY), ws::WSANO_RECOVERY);
    EXPECT_EQ(ws::ErrorFromResolver(EAI_NODATA), ws::WSANO_DATA);
    EXPECT_EQ(ws::ErrorFromResolver(EAI_ADDRFAMILY), ws::WSANO_DATA);
}

TEST(WinsockAddress, DottedTextInAllItsForms)
{
    EXPECT_EQ(ws::inet_addr("1.2.3.4"), htonl(0x01020304));
    EXPECT_EQ(ws::inet_addr("127.1"), htonl(0x7F000001));
    EXPECT_EQ(ws::inet_addr("10.1.258"), htonl(0x0A010102));
    EXPECT_EQ(ws::inet_addr("0x7f.0.0.010"), htonl(0x7F000008));
    EXPECT_EQ(ws::inet_addr("3232235777"), htonl(0xC0A80101));
    EXPECT_EQ(ws::inet_addr("0.0.0.0"), 0u);
    EXPECT_EQ(ws::inet_addr("1.2.3.4 "), htonl(0x01020304));
}

TEST(WinsockAddress, AnythingElseIsNotDotted)
{
    for (const char* text : {"255.255.255.255", "example", "", "1.2.3.4.5", "1.2.3.256", "1..2", "1.2.3.",
                             "08.1.1.1", "0x", "1.2.3.4x", "4294967296", "99999999999999999999"})
        EXPECT_EQ(ws::inet_addr(text), ws::INADDR_NONE_) << '"' << text << '"';
    EXPECT_EQ(ws::inet_addr(nullptr), ws::INADDR_NONE_);
    const std::string huge(10000, '1');
    EXPECT_EQ(ws::inet_addr(huge.c_str()), ws::INADDR_NONE_);
    const std::string longDotted = std::string(5000, '0') + "1.2.3.4";
    EXPECT_EQ(ws::inet_addr(longDotted.c_str()), htonl(0x01020304));   // leading zeros: octal 01
}

} // namespace
} // namespace winsock_test
