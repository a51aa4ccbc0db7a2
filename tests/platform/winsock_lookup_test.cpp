// Asynchronous host and service look-ups: results laid out in the caller's
// buffer, errors, cancelling, and a window that goes away.
#include "winsock_test_support.h"

#include <cstring>
#include <string>

namespace winsock_test {
namespace {

constexpr unsigned int kDone = 2138;
constexpr int kBufferSize = 1024;
constexpr unsigned char kUntouched = 0xAB;

class AsyncLookupTest : public WinsockTest {
protected:
    AsyncLookupTest() { std::memset(buffer, kUntouched, sizeof buffer); }

    // Waits for the one completion of `request`: its error and result length.
    void complete(ws::HANDLE request, int& error, int& length)
    {
        ASSERT_NE(request, 0u);
        ASSERT_TRUE(window.waitForCount(1));
        ASSERT_EQ(window.messages.size(), 1u);
        EXPECT_EQ(window.messages[0].msg, kDone);
        EXPECT_EQ(window.messages[0].wParam, request);
        error = static_cast<int>(platform::HighWord(window.messages[0].lParam));
        length = static_cast<int>(platform::LowWord(window.messages[0].lParam));
    }

    bool pointsIntoBuffer(const void* p) const
    {
        const char* c = static_cast<const char*>(p);
        return c >= buffer && c < buffer + kBufferSize;
    }

    bool bufferUntouched() const
    {
        for (unsigned char c : buffer)
            if (c != kUntouched)
                return false;
        return true;
    }

    void expectLoopbackHost(const char* name)
    {
        int error = -1;
        int length = 0;
        complete(ws::WSAAsyncGetHostByName(window.handle(), kDone, name, buffer, kBufferSize), error, length);
        ASSERT_EQ(error, 0) << name;
        EXPECT_GT(length, 0);
        EXPECT_LE(length, kBufferSize);
        const auto* host = reinterpret_cast<const ws::HOSTENT*>(buffer);
        EXPECT_EQ(host->h_addrtype, ws::AF_INET_);
        EXPECT_EQ(host->h_length, 4);
        ASSERT_TRUE(pointsIntoBuffer(host->h_addr_list));
        ASSERT_TRUE(pointsIntoBuffer(host->h_addr_list[0]));
        ASSERT_TRUE(pointsIntoBuffer(host->h_name));
        std::uint32_t address = 0;
        std::memcpy(&address, host->h_addr_list[0], 4);
        EXPECT_EQ(address, htonl(INADDR_LOOPBACK)) << name;
    }

    alignas(16) char buffer[kBufferSize];
    RecordingWindow window;
};

TEST_F(AsyncLookupTest, LocalhostAndItsDottedAddressResolveToLoopback)
{
    expectLoopbackHost("localhost");
    window.messages.clear();
    std::memset(buffer, kUntouched, sizeof buffer);
    expectLoopbackHost("127.0.0.1");
    EXPECT_STREQ(reinterpret_cast<const ws::HOSTENT*>(buffer)->h_name, "127.0.0.1");
}

TEST_F(AsyncLookupTest, UnknownAndOverlongHostsAreNotFound)
{
    int error = 0;
    int length = 0;
    complete(ws::WSAAsyncGetHostByName(window.handle(), kDone, "no-such-host.invalid", buffer, kBufferSize), error,
             length);
    EXPECT_EQ(error, ws::WSAHOST_NOT_FOUND);

    window.messages.clear();
    const std::string overlong(300, 'a');
    complete(ws::WSAAsyncGetHostByName(window.handle(), kDone, overlong.c_str(), buffer, kBufferSize), error, length);
    EXPECT_EQ(error, ws::WSAHOST_NOT_FOUND);
    EXPECT_TRUE(bufferUntouched());
}

TEST_F(AsyncLookupTest, ServiceByNameAndByPortUseTheServicesFile)
{
    int error = -1;
    int length = 0;
    complete(ws::WSAAsyncGetServByName(window.handle(), kDone, "time", "tcp", buffer, kBufferSize), error, length);
    ASSERT_EQ(error, 0);
    const auto* service = reinterpret_cast<const ws::SERVENT*>(buffer);
    EXPECT_EQ(static_cast<std::uint16_t>(service->s_port), htons(37));
    EXPECT_STREQ(service->s_proto, "tcp");
    EXPECT_TRUE(pointsIntoBuffer(service->s_name));

    window.messages.clear();
    std::memset(buffer, kUntouched, sizeof buffer);
    complete(ws::WSAAsyncGetServByPort(window.handle(), kDone, htons(37), "tcp", buffer, kBufferSize), error, length);
    ASSERT_EQ(error, 0);
    EXPECT_STREQ(service->s_name, "time");
    ASSERT_TRUE(pointsIntoBuffer(service->s_aliases));
}

TEST_F(AsyncLookupTest, UnknownServiceHasNoData)
{
    int error = 0;
    int length = 0;
    complete(ws::WSAAsyncGetServByName(window.handle(), kDone, "no-such-service", "tcp", buffer, kBufferSize), error,
             length);
    EXPECT_EQ(error, ws::WSANO_DATA);
    EXPECT_TRUE(bufferUntouched());
}

TEST_F(AsyncLookupTest, TooSmallBufferReportsNoBuffersAndTheSizeNeeded)
{
    int error = 0;
    int length = 0;
    complete(ws::WSAAsyncGetServByName(window.handle(), kDone, "time", "tcp", buffer, 8), error, length);
    EXPECT_EQ(error, ws::WSAENOBUFS);
    EXPECT_GT(length, 8);
    EXPECT_TRUE(bufferUntouched());
}

TEST_F(AsyncLookupTest, CancelledRequestIsNeitherDeliveredNorWritten)
{
    const ws::HANDLE host = ws::WSAAsyncGetHostByName(window.handle(), kDone, "localhost", buffer, kBufferSize);
    const ws::HANDLE service = ws::WSAAsyncGetServByName(window.handle(), kDone, "time", "tcp", buffer, kBufferSize);
    ASSERT_NE(host, 0u);
    ASSERT_NE(service, host);
    EXPECT_EQ(ws::WSACancelAsyncRequest(host), 0);
    EXPECT_EQ(ws::WSACancelAsyncRequest(service), 0);
    pumpFor(std::chrono::milliseconds(500));
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(bufferUntouched());

    EXPECT_EQ(ws::WSACancelAsyncRequest(host), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEINVAL);
    EXPECT_EQ(ws::WSACancelAsyncRequest(987654321), ws::SOCKET_ERROR);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEINVAL);
}

TEST_F(AsyncLookupTest, CompletedRequestCannotBeCancelledAndHandlesAreNotReused)
{
    int error = -1;
    int length = 0;
    const ws::HANDLE first = ws::WSAAsyncGetHostByName(window.handle(), kDone, "127.0.0.1", buffer, kBufferSize);
    complete(first, error, length);
    EXPECT_EQ(ws::WSACancelAsyncRequest(first), ws::SOCKET_ERROR);
    window.messages.clear();
    const ws::HANDLE second = ws::WSAAsyncGetHostByName(window.handle(), kDone, "127.0.0.1", buffer, kBufferSize);
    complete(second, error, length);
    EXPECT_GT(second, first);
}

TEST_F(AsyncLookupTest, WindowGoneBeforeCompletionMeansNoWrite)
{
    auto doomed = std::make_unique<RecordingWindow>();
    ASSERT_NE(ws::WSAAsyncGetHostByName(doomed->handle(), kDone, "localhost", buffer, kBufferSize), 0u);
    doomed.reset();
    pumpFor(std::chrono::milliseconds(500));
    EXPECT_TRUE(bufferUntouched());
}

TEST_F(AsyncLookupTest, CleanupCancelsPendingRequests)
{
    ASSERT_NE(ws::WSAAsyncGetHostByName(window.handle(), kDone, "localhost", buffer, kBufferSize), 0u);
    ASSERT_EQ(ws::WSACleanup(), 0);
    pumpFor(std::chrono::milliseconds(500));
    EXPECT_TRUE(window.messages.empty());
    EXPECT_TRUE(bufferUntouched());
    ws::WSADATA data;
    ASSERT_EQ(ws::WSAStartup(257, &data), 0);   // for TearDown's WSACleanup
}

TEST_F(AsyncLookupTest, CleanupFromACompletionHandlerIsSafe)
{
    int completions = 0;
    platform::MessageWindow stopper([&](platform::Message&) {
        ++completions;
        ws::WSACleanup();
    });
    ASSERT_NE(ws::WSAAsyncGetHostByName(stopper.handle(), kDone, "127.0.0.1", buffer, kBufferSize), 0u);
    ASSERT_TRUE(pumpUntil([&] { return completions == 1; }));
    pumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(completions, 1);
    ws::WSADATA data;
    ASSERT_EQ(ws::WSAStartup(257, &data), 0);   // for TearDown's WSACleanup
}

TEST_F(AsyncLookupTest, BadRequestsAreRefusedAtOnce)
{
    EXPECT_EQ(ws::WSAAsyncGetHostByName(window.handle(), kDone, nullptr, buffer, kBufferSize), 0u);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEFAULT);
    EXPECT_EQ(ws::WSAAsyncGetHostByName(window.handle(), kDone, "localhost", nullptr, kBufferSize), 0u);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEFAULT);
    EXPECT_EQ(ws::WSAAsyncGetServByPort(999999, kDone, htons(37), "tcp", buffer, kBufferSize), 0u);
    EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEINVAL);
}

} // namespace
} // namespace winsock_test
