// WSAAsyncSelect's event messages and Winsock's re-enabling rules, on real
// sockets over 127.0.0.1.
#include "winsock_test_support.h"

#include <cerrno>

namespace winsock_test {
namespace {

constexpr unsigned int kNotify = 2135;
constexpr long kClientMask = ws::FD_READ | ws::FD_WRITE | ws::FD_CONNECT | ws::FD_CLOSE;

class AsyncSelectTest : public WinsockTest {
protected:
    // A client socket of ours, connecting to `port` with every event watched.
    ws::SOCKET startConnect(std::uint16_t port)
    {
        const ws::SOCKET s = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
        EXPECT_NE(s, ws::INVALID_SOCKET);
        EXPECT_EQ(ws::WSAAsyncSelect(s, window.handle(), kNotify, kClientMask), 0);
        const ws::SOCKADDR_IN address = winsockLoopback(port);
        const int result = ws::connect(s, &address, sizeof address);
        if (result != 0) {
            EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
        }
        return s;
    }

    // Connects to a plain listener and returns our socket with the peer accepted;
    // the connect and write messages are consumed.
    ws::SOCKET connectedPair(Fd& peer)
    {
        listener.fd = plainListener();
        const ws::SOCKET s = startConnect(localPort(listener.fd));
        EXPECT_TRUE(window.waitForCount(2));
        peer.fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
        window.messages.clear();
        return s;
    }

    RecordingWindow window;
    Fd listener;
};

TEST_F(AsyncSelectTest, RefusedConnectPostsConnectWithRefusalAndNothingElse)
{
    const ws::SOCKET s = startConnect(closedPort());
    ASSERT_TRUE(window.waitForCount(1));
    pumpFor(kQuietPeriod);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].msg, kNotify);
    EXPECT_EQ(window.messages[0].wParam, static_cast<platform::WPARAM>(s));
    EXPECT_EQ(eventOf(window.messages[0]), ws::FD_CONNECT);
    EXPECT_EQ(errorOf(window.messages[0]), static_cast<unsigned int>(ws::WSAECONNREFUSED));
    ws::closesocket(s);
}

TEST_F(AsyncSelectTest, SuccessfulConnectPostsConnectThenWriteOnce)
{
    listener.fd = plainListener();
    const ws::SOCKET s = startConnect(localPort(listener.fd));
    ASSERT_TRUE(window.waitForCount(2));
    pumpFor(kQuietPeriod);
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0].lParam, platform::MakeSelectLParam(ws::FD_CONNECT, 0));
    EXPECT_EQ(window.messages[1].lParam, platform::MakeSelectLParam(ws::FD_WRITE, 0));
    ws::closesocket(s);
}

// Closes the socket when its first message is about to be delivered, so the
// messages already queued for it are still on their way.
class CloseOnFirstDelivery : public QObject {
public:
    explicit CloseOnFirstDelivery(ws::SOCKET s) : s_(s) {}
    bool closed = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (!closed && platform::PostedMessage(event)) {
            closed = true;
            ws::closesocket(s_);
        }
        return false;
    }

private:
    ws::SOCKET s_;
};

TEST_F(AsyncSelectTest, MessagesQueuedBeforeCloseSocketAreNeverDelivered)
{
    listener.fd = plainListener();
    const ws::SOCKET s = startConnect(localPort(listener.fd));
    CloseOnFirstDelivery closer(s);
    platform::windowFromHandle(window.handle())->installEventFilter(&closer);
    ASSERT_TRUE(pumpUntil([&] { return closer.closed; }));
    pumpFor(kQuietPeriod);
    EXPECT_TRUE(window.messages.empty());   // neither the connect nor the write queued with it
}

TEST_F(AsyncSelectTest, ReadWaitsForRecvBeforeBeingPostedAgain)
{
    Fd peer;
    const ws::SOCKET s = connectedPair(peer);
    ASSERT_EQ(::send(peer.fd, "abcd", 4, 0), 4);
    ASSERT_TRUE(window.waitForCount(1));
    pumpFor(kQuietPeriod);
    ASSERT_EQ(window.messages.size(), 1u) << "read repeated before recv";
    EXPECT_EQ(window.messages[0].lParam, platform::MakeSelectLParam(ws::FD_READ, 0));

    char buffer[4];
    ASSERT_EQ(ws::recv(s, buffer, 2, 0), 2);
    ASSERT_TRUE(window.waitForCount(2)) << "two bytes still wait, so read comes again";
    EXPECT_EQ(eventOf(window.messages[1]), ws::FD_READ);

    ASSERT_EQ(ws::recv(s, buffer, 4, 0), 2);
    pumpFor(kQuietPeriod);
    EXPECT_EQ(window.messages.size(), 2u) << "nothing waits any more";
    ws::closesocket(s);
}

TEST_F(AsyncSelectTest, FourBytesThenClosePostCloseOnlyAfterTheRecv)
{
    Fd peer;
    const ws::SOCKET s = connectedPair(peer);
    ASSERT_EQ(::send(peer.fd, "abcd", 4, 0), 4);
    peer.reset();
    ASSERT_TRUE(window.waitForCount(1));
    pumpFor(kQuietPeriod);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(eventOf(window.messages[0]), ws::FD_READ);

    std::uint32_t waiting = 0;
    ASSERT_EQ(ws::ioctlsocket(s, ws::FIONREAD_, &waiting), 0);
    EXPECT_EQ(waiting, 4u);
    char buffer[16];
    ASSERT_EQ(ws::recv(s, buffer, sizeof buffer, 0), 4);
    ASSERT_TRUE(window.waitForCount(2));
    pumpFor(kQuietPeriod);
    ASSERT_EQ(window.messages.size(), 2u) << "close is posted once";
    EXPECT_EQ(window.messages[1].lParam, platform::MakeSelectLParam(ws::FD_CLOSE, 0));
    EXPECT_EQ(ws::recv(s, buffer, sizeof buffer, 0), 0);
    ws::closesocket(s);
}

TEST_F(AsyncSelectTest, ResetPostsCloseWithConnectionReset)
{
    Fd peer;
    const ws::SOCKET s = connectedPair(peer);
    const linger abortive{1, 0};
    ::setsockopt(peer.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    peer.reset();
    ASSERT_TRUE(window.waitForCount(1));
    pumpFor(kQuietPeriod);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(eventOf(window.messages[0]), ws::FD_CLOSE);
    EXPECT_EQ(errorOf(window.messages[0]), static_cast<unsigned int>(ws::WSAECONNRESET));
    ws::closesocket(s);
}

TEST_F(AsyncSelectTest, SendThatWouldBlockIsFollowedByWriteOnceDrained)
{
    Fd peer;
    const ws::SOCKET s = connectedPair(peer);
    const int small = 4096;
    ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::setsockopt(peer.fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);

    std::vector<char> chunk(65536, 'x');
    bool blocked = false;
    for (int attempt = 0; attempt < 10000 && !blocked; ++attempt) {
        if (ws::send(s, chunk.data(), static_cast<int>(chunk.size()), 0) == ws::SOCKET_ERROR) {
            ASSERT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
            blocked = true;
        }
    }
    ASSERT_TRUE(blocked);
    pumpFor(kQuietPeriod);
    EXPECT_TRUE(window.messages.empty()) << "no write while the buffer is full";

    // Drain the peer until our side becomes writable and says so.
    const bool written = pumpUntil([&] {
        char sink[65536];
        while (::recv(peer.fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
        return !window.messages.empty();
    });
    ASSERT_TRUE(written);
    EXPECT_EQ(window.messages[0].lParam, platform::MakeSelectLParam(ws::FD_WRITE, 0));
    ws::closesocket(s);
}

TEST_F(AsyncSelectTest, AcceptIsPostedAgainOnlyAfterAccept)
{
    const ws::SOCKET server = ws::socket(ws::AF_INET_, ws::SOCK_STREAM_, 0);
    const ws::SOCKADDR_IN any = winsockLoopback(0);
    ASSERT_EQ(ws::bind(server, &any, sizeof any), 0);
    ASSERT_EQ(ws::listen(server, 4), 0);
    ASSERT_EQ(ws::WSAAsyncSelect(server, window.handle(), kNotify, ws::FD_ACCEPT), 0);

    Fd first(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    Fd second(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in target = loopback(localPort(server));
    ASSERT_EQ(::connect(first.fd, reinterpret_cast<const sockaddr*>(&target), sizeof target), 0);
    ASSERT_EQ(::connect(second.fd, reinterpret_cast<const sockaddr*>(&target), sizeof target), 0);

    ASSERT_TRUE(window.waitForCount(1));
    pumpFor(kQuietPeriod);
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_EQ(window.messages[0].lParam, platform::MakeSelectLParam(ws::FD_ACCEPT, 0));

    ws::SOCKADDR_IN peer;
    int length = sizeof peer;
    const ws::SOCKET accepted = ws::accept(server, &peer, &length);
    ASSERT_NE(accepted, ws::INVALID_SOCKET);
    EXPECT_EQ(peer.sin_addr, htonl(INADDR_LOOPBACK));
    ASSERT_TRUE(window.waitForCount(2)) << "a second connection still waits";
    EXPECT_EQ(eventOf(window.messages[1]), ws::FD_ACCEPT);

    const ws::SOCKET acceptedToo = ws::accept(server, nullptr, nullptr);
    ASSERT_NE(acceptedToo, ws::INVALID_SOCKET);
    pumpFor(kQuietPeriod);
    EXPECT_EQ(window.messages.size(), 2u);
    for (ws::SOCKET s : {accepted, acceptedToo, server})
        ws::closesocket(s);
}

TEST_F(AsyncSelectTest, ClosesocketAndMaskZeroStopEveryNotification)
{
    Fd firstPeer;
    const ws::SOCKET closed = connectedPair(firstPeer);
    ASSERT_EQ(::send(firstPeer.fd, "x", 1, 0), 1);
    ws::closesocket(closed);

    Fd secondPeer;
    listener.reset();
    const ws::SOCKET silenced = connectedPair(secondPeer);
    ASSERT_EQ(ws::WSAAsyncSelect(silenced, window.handle(), kNotify, 0), 0);
    ASSERT_EQ(::send(secondPeer.fd, "y", 1, 0), 1);
    secondPeer.reset();

    pumpFor(kQuietPeriod);
    EXPECT_TRUE(window.messages.empty());
    ws::closesocket(silenced);
}

TEST_F(AsyncSelectTest, EachDatagramIsAnnouncedAfterTheLastWasTaken)
{
    const ws::SOCKET receiver = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    const ws::SOCKET sender = ws::socket(ws::AF_INET_, ws::SOCK_DGRAM_, 0);
    const ws::SOCKADDR_IN any = winsockLoopback(0);
    ASSERT_EQ(ws::bind(receiver, &any, sizeof any), 0);
    ASSERT_EQ(ws::WSAAsyncSelect(receiver, window.handle(), kNotify, ws::FD_READ), 0);
    const ws::SOCKADDR_IN target = winsockLoopback(localPort(receiver));
    ASSERT_EQ(ws::sendto(sender, "one", 3, 0, &target, sizeof target), 3);
    ASSERT_EQ(ws::sendto(sender, "two", 3, 0, &target, sizeof target), 3);

    ASSERT_TRUE(window.waitForCount(1));
    pumpFor(kQuietPeriod);
    ASSERT_EQ(window.messages.size(), 1u);
    char buffer[8];
    ws::SOCKADDR_IN from;
    int fromLength = sizeof from;
    ASSERT_EQ(ws::recvfrom(receiver, buffer, sizeof buffer, 0, &from, &fromLength), 3);
    EXPECT_EQ(from.sin_port, htons(localPort(sender)));
    ASSERT_TRUE(window.waitForCount(2));
    ASSERT_EQ(ws::recvfrom(receiver, buffer, sizeof buffer, 0, nullptr, nullptr), 3);
    pumpFor(kQuietPeriod);
    EXPECT_EQ(window.messages.size(), 2u);
    ws::closesocket(receiver);
    ws::closesocket(sender);
}

} // namespace
} // namespace winsock_test
