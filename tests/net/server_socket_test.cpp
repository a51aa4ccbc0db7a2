#include "net/client_socket.h"
#include "net/notify_queue.h"
#include "net/server_socket.h"
#include "net/sock_error.h"

#include "loopback.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>
#include <vector>

using testing_support::pumpFor;
using testing_support::pumpUntil;
using testing_support::raisedBy;

namespace {

// A stream socket object that reports its own destruction.
class CountedStream : public TStreamSocket {
public:
    explicit CountedStream(TSockCtrl* owner) : TStreamSocket(owner) { live().insert(this); }
    ~CountedStream() override { live().erase(this); }
    static std::set<const TSocketBase*>& live()
    {
        static std::set<const TSocketBase*> objects;
        return objects;
    }
};

// A server on 127.0.0.1 at a port of the kernel's choice, recording its events.
struct RecordingServer {
    TServerSocket server;
    std::vector<std::string> events;
    std::uint16_t port = 0;

    explicit RecordingServer(int maxConnections = 16)
    {
        server.OnInfo = [this](TSockCtrl*, TSockInfo code, TSocketBase*) {
            if (code != siRecv && code != siSend)
                events.push_back("info" + std::to_string(code));
        };
        server.OnAccept = [this](TSockCtrl*, TSocketBase*) { events.push_back("accept"); };
        server.OnRefuse = [this](TSockCtrl*, TSocketBase*) { events.push_back("refuse"); };
        server.SetMaxConnections(maxConnections);
        server.SetAddress("127.0.0.1");
        server.SetPort("0");
        server.Listen(SocketClassOf<CountedStream>, 32);
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        ::getsockname(server.CurrentSocket()->Handle, reinterpret_cast<sockaddr*>(&bound), &length);
        port = ntohs(bound.sin_port);
    }
    long count(const std::string& event) const { return std::count(events.begin(), events.end(), event); }
};

// A blocking client connected to the server (the kernel completes the handshake).
int connectTo(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True once the server side has closed: the next read sees the end.
bool closedByServer(int fd)
{
    char byte;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

TEST(ServerSocket, ListenReportsListeningAndABusyPortRaisesTheBindError)
{
    RecordingServer first;
    EXPECT_EQ(first.events, std::vector<std::string>{"info4"});
    EXPECT_EQ(first.server.CurrentSocket()->State, ssListening);

    TServerSocket second;
    std::vector<TSockInfo> infos;
    second.OnInfo = [&](TSockCtrl*, TSockInfo code, TSocketBase*) { infos.push_back(code); };
    second.SetAddress("127.0.0.1");
    second.SetPort(std::to_string(first.port));
    EXPECT_EQ(raisedBy([&] { second.Listen(SocketClassOf<TStreamSocket>); }),
              "Error 10048 (Address already in use) Binding Socket");
    EXPECT_EQ(infos, std::vector<TSockInfo>{siClose});
    EXPECT_EQ(second.CurrentSocket()->Handle, ws::INVALID_SOCKET);
    EXPECT_EQ(second.CurrentSocket()->State, ssClosed);
}

TEST(ServerSocket, SeventeenthConnectionIsRefusedClosedAndFreed)
{
    RecordingServer server;
    server.events.clear();
    std::vector<int> clients;
    for (int i = 0; i < 17; ++i) {
        clients.push_back(connectTo(server.port));
        ASSERT_GE(clients.back(), 0);
    }
    ASSERT_TRUE(pumpUntil([&] { return server.count("accept") + server.count("refuse") == 17; }));
    pumpFor(50);   // lets the refused object's close message arrive

    std::vector<std::string> expected;
    for (int i = 0; i < 16; ++i) {
        expected.push_back("info9");
        expected.push_back("accept");
    }
    expected.insert(expected.end(), {"info11", "refuse", "info7"});
    EXPECT_EQ(server.events, expected);
    EXPECT_EQ(server.server.Connections().size(), 16u);
    EXPECT_EQ(CountedStream::live().size(), 17u);   // the 16 kept and the listening object
    for (const TSocketBase* connection : server.server.Connections())
        EXPECT_EQ(connection->State, ssConnected);

    // The kernel queues connections in order, so the last client is the refused one.
    ASSERT_TRUE(pumpUntil([&] { return closedByServer(clients[16]); }, 2000));
    for (int i = 0; i < 16; ++i)
        EXPECT_FALSE(closedByServer(clients[i])) << "client " << i;
    for (int fd : clients)
        ::close(fd);
}

TEST(ServerSocket, ClosingTwoConnectionsFreesExactlyThoseTwo)
{
    RecordingServer server;
    std::vector<int> clients;
    for (int i = 0; i < 3; ++i)
        clients.push_back(connectTo(server.port));
    ASSERT_TRUE(pumpUntil([&] { return server.server.Connections().size() == 3; }));
    const TSocketList accepted = server.server.Connections();

    accepted[0]->Close();
    accepted[2]->Close();
    EXPECT_EQ(server.server.Connections().size(), 3u);   // freed when the close messages arrive
    ASSERT_TRUE(pumpUntil([&] { return server.server.Connections().size() == 1; }));
    pumpFor(30);
    EXPECT_EQ(server.server.Connections(), TSocketList{accepted[1]});
    EXPECT_EQ(CountedStream::live().count(accepted[0]), 0u);
    EXPECT_EQ(CountedStream::live().count(accepted[1]), 1u);
    EXPECT_EQ(CountedStream::live().count(accepted[2]), 0u);
    EXPECT_EQ(CountedStream::live().size(), 2u);   // the kept connection and the listening object
    EXPECT_TRUE(closedByServer(clients[0]));
    EXPECT_FALSE(closedByServer(clients[1]));
    EXPECT_TRUE(closedByServer(clients[2]));
    for (int fd : clients)
        ::close(fd);
}

TEST(ServerSocket, NotificationsReachTheConnectionTheyConcern)
{
    RecordingServer server;
    std::vector<std::pair<TSocketBase*, std::string>> reads;
    std::vector<TSocketBase*> disconnected;
    server.server.OnRead = [&](TSockCtrl*, TSocketBase* s) {
        char buffer[16];
        const int received = s->Read(buffer, sizeof buffer);
        reads.emplace_back(s, std::string(buffer, static_cast<std::size_t>(received)));
    };
    server.server.OnDisconnect = [&](TSockCtrl*, TSocketBase* s) {
        disconnected.push_back(s);
        s->Close();
    };
    const int first = connectTo(server.port);
    const int second = connectTo(server.port);
    ASSERT_TRUE(pumpUntil([&] { return server.server.Connections().size() == 2; }));
    const TSocketList accepted = server.server.Connections();

    ASSERT_EQ(::write(second, "two", 3), 3);
    ASSERT_TRUE(pumpUntil([&] { return !reads.empty(); }));
    EXPECT_EQ(reads[0].first, accepted[1]);
    EXPECT_EQ(reads[0].second, "two");

    ::close(first);
    ASSERT_TRUE(pumpUntil([&] { return !disconnected.empty(); }));
    EXPECT_EQ(disconnected, std::vector<TSocketBase*>{accepted[0]});
    ASSERT_TRUE(pumpUntil([&] { return server.server.Connections().size() == 1; }));
    EXPECT_EQ(server.server.Connections()[0], accepted[1]);

    // A handle the server does not hold is reported, not applied to anything.
    server.events.clear();
    platform::SendMessage(server.server.Window(), WM_SOCKETNOTIFY, static_cast<platform::WPARAM>(100000),
                          platform::MakeSelectLParam(ws::FD_READ, 0));
    EXPECT_EQ(server.events, std::vector<std::string>{"info10"});
    EXPECT_EQ(reads.size(), 1u);
    ::close(second);
    pumpFor(30);
}

TEST(ServerSocket, DestroyingTheServerFreesItsConnections)
{
    std::vector<int> clients;
    {
        RecordingServer server;
        for (int i = 0; i < 2; ++i)
            clients.push_back(connectTo(server.port));
        ASSERT_TRUE(pumpUntil([&] { return server.server.Connections().size() == 2; }));
    }
    EXPECT_TRUE(CountedStream::live().empty());
    for (int fd : clients) {
        EXPECT_TRUE(pumpUntil([&] { return closedByServer(fd); }, 2000));
        ::close(fd);
    }
    pumpFor(30);   // close messages for the freed objects reach no one
}

// A connection waiting to be accepted is announced once; if that notice is
// deferred while the server closes another connection it must survive.
TEST(ServerSocket, DeferredAcceptSurvivesTheCloseOfAnotherConnection)
{
    RecordingServer rs;
    ++WaitDepth();   // as inside a look-up of another control
    const int client = connectTo(rs.port);
    // The platform's one notice of the waiting connection is deferred.
    ASSERT_TRUE(pumpUntil([] { return NotifyQueueLength() == 1; }));
    platform::SendMessage(rs.server.Window(), WM_SOCKETCLOSED, 0, 0);
    --WaitDepth();
    platform::PostMessage(rs.server.Window(), WM_DRAINQUEUE, 0, 0);
    EXPECT_TRUE(pumpUntil([&] { return rs.count("accept") == 1; }));
    EXPECT_TRUE(NotifyQueueEmpty());
    ::close(client);
    pumpFor(30);
}

} // namespace
