#include "net/client_socket.h"
#include "net/datagram_socket.h"
#include "net/server_socket.h"
#include "net/sock_error.h"

#include "loopback.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <string>
#include <vector>

using testing_support::pumpFor;
using testing_support::pumpUntil;
using testing_support::raisedBy;

namespace {

// A plain UDP socket on 127.0.0.1 at a port of the kernel's choice.
class UdpPeer {
public:
    UdpPeer()
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~UdpPeer() { ::close(fd_); }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    static sockaddr_in loopback(std::uint16_t port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return address;
    }
    std::uint16_t port() const { return port_; }
    void sendTo(std::uint16_t port, const std::string& data)
    {
        const sockaddr_in to = loopback(port);
        ASSERT_EQ(::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(data.size()));
    }
    // The next datagram within the wait, or "<none>".
    std::string receive(int milliseconds = 2000)
    {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, milliseconds) != 1)
            return "<none>";
        std::string data(70000, '\0');
        const ssize_t received = ::recv(fd_, data.data(), data.size(), 0);
        data.resize(received < 0 ? 0 : static_cast<std::size_t>(received));
        return data;
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

bool handleIsOpen(ws::SOCKET handle)
{
    return handle != ws::INVALID_SOCKET && ::fcntl(handle, F_GETFD) != -1;
}

// A client control holding a datagram socket connected to `port` on loopback.
TDatagramSocket* openDatagram(TClientSocket& cli, std::uint16_t port)
{
    cli.SetProtocol("udp");
    cli.SetAddress("127.0.0.1");
    cli.SetPort(std::to_string(port));
    cli.Open(SocketClassOf<TDatagramSocket>);
    return static_cast<TDatagramSocket*>(cli.CurrentSocket());
}

TEST(DatagramSocket, OneByteOverTheLimitRaisesAndLeavesTheSocketUsable)
{
    UdpPeer peer;
    TClientSocket cli;
    TDatagramSocket* socket = openDatagram(cli, peer.port());
    ASSERT_EQ(Winsock().startupData.iMaxUdpDg, 65507);
    const std::string largest(65507, 'x');
    const std::string tooLarge(65508, 'y');
    const ws::SOCKET handle = socket->Handle;

    EXPECT_EQ(raisedBy([&] { socket->Write(tooLarge.data(), static_cast<int>(tooLarge.size())); }),
              "Datagram exceeds Winsock's max UDP packet size");
    EXPECT_EQ(raisedBy([&] { socket->SendTo("127.0.0.1", peer.port(), tooLarge.data(), 65508); }),
              "Datagram exceeds Winsock's max UDP packet size");
    EXPECT_EQ(socket->Handle, handle);
    EXPECT_EQ(socket->State, ssConnected);
    EXPECT_EQ(peer.receive(200), "<none>");

    EXPECT_EQ(socket->Write(largest.data(), 65507), 65507);
    EXPECT_EQ(peer.receive(), largest);
    EXPECT_EQ(socket->SendTo("127.0.0.1", peer.port(), largest.data(), 65507), 65507);
    EXPECT_EQ(peer.receive(), largest);
}

TEST(DatagramSocket, ListenReceivesWithoutConnectAndRepliesWithSendTo)
{
    UdpPeer client;
    TServerSocket server;
    std::vector<TSockInfo> infos;
    std::string request;
    ws::SOCKADDR_IN sender;
    server.OnInfo = [&](TSockCtrl*, TSockInfo code, TSocketBase*) { infos.push_back(code); };
    server.OnRead = [&](TSockCtrl*, TSocketBase* s) {
        char buffer[64];
        int length = sizeof sender;
        const int received = static_cast<TDatagramSocket*>(s)->RecvFrom(buffer, sizeof buffer, &sender, &length);
        request.assign(buffer, static_cast<std::size_t>(received));
    };
    server.SetProtocol("udp");
    server.SetAddress("127.0.0.1");
    server.SetPort("0");
    server.Listen(SocketClassOf<TDatagramSocket>);
    auto* socket = static_cast<TDatagramSocket*>(server.CurrentSocket());
    sockaddr_in bound{};
    socklen_t boundLength = sizeof bound;
    ASSERT_EQ(::getsockname(socket->Handle, reinterpret_cast<sockaddr*>(&bound), &boundLength), 0);
    EXPECT_TRUE(infos.empty());
    EXPECT_EQ(socket->State, ssClosed);

    client.sendTo(ntohs(bound.sin_port), "ping");
    ASSERT_TRUE(pumpUntil([&] { return !request.empty(); }));
    EXPECT_EQ(request, "ping");
    EXPECT_EQ(ntohs(sender.sin_port), client.port());
    EXPECT_EQ(sender.sin_addr, htonl(INADDR_LOOPBACK));

    // Not connected: Write refuses, SendTo needs no default peer.
    EXPECT_EQ(raisedBy([&] { socket->Write("pong", 4); }), "Socket not open");
    EXPECT_EQ(socket->SendTo("127.0.0.1", ntohs(sender.sin_port), "pong", 4), 4);
    EXPECT_EQ(client.receive(), "pong");

    // Every datagram is offered, not only the first.
    request.clear();
    client.sendTo(ntohs(bound.sin_port), "one");
    client.sendTo(ntohs(bound.sin_port), "two");
    std::vector<std::string> seen;
    server.OnRead = [&](TSockCtrl*, TSocketBase* s) {
        char buffer[64];
        int length = sizeof sender;
        const int received = static_cast<TDatagramSocket*>(s)->RecvFrom(buffer, sizeof buffer, &sender, &length);
        seen.emplace_back(buffer, static_cast<std::size_t>(received));
    };
    ASSERT_TRUE(pumpUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
}

TEST(DatagramSocket, SendToUsesThePortGivenAndSendToPortTheControls)
{
    UdpPeer requester;
    UdpPeer controlPeer;
    TClientSocket cli;
    cli.SetProtocol("udp");
    cli.SetPort("time");   // a service name on the control must not redirect replies
    TDatagramSocket socket(&cli);
    EXPECT_EQ(socket.SendTo("127.0.0.1", requester.port(), "to-requester", 12), 12);
    EXPECT_EQ(requester.receive(), "to-requester");

    cli.SetPort(std::to_string(controlPeer.port()));
    EXPECT_EQ(socket.SendToPort("127.0.0.1", "to-control", 10), 10);
    EXPECT_EQ(controlPeer.receive(), "to-control");
    EXPECT_EQ(requester.receive(200), "<none>");
}

TEST(DatagramSocket, CloseLeavesAFreshUnboundHandleInClosedState)
{
    UdpPeer peer;
    TClientSocket cli;
    std::vector<TSockInfo> infos;
    cli.OnInfo = [&](TSockCtrl*, TSockInfo code, TSocketBase*) { infos.push_back(code); };
    TDatagramSocket* socket = openDatagram(cli, peer.port());
    EXPECT_EQ(infos, (std::vector<TSockInfo>{siLookUp, siConnect}));
    EXPECT_EQ(socket->State, ssConnected);

    infos.clear();
    socket->Close();
    EXPECT_EQ(infos, std::vector<TSockInfo>{siClose});
    EXPECT_EQ(socket->State, ssClosed);
    ASSERT_TRUE(handleIsOpen(socket->Handle));
    sockaddr_in address{};
    socklen_t length = sizeof address;
    EXPECT_NE(::getpeername(socket->Handle, reinterpret_cast<sockaddr*>(&address), &length), 0);
    EXPECT_EQ(raisedBy([&] { socket->Write("x", 1); }), "Socket not open");

    // The fresh handle serves the next Connect.
    std::string ipText = "127.0.0.1";
    socket->Connect("", {csoRead}, peer.port(), "", ipText);
    EXPECT_EQ(socket->Write("again", 5), 5);
    EXPECT_EQ(peer.receive(), "again");
}

TEST(DatagramSocket, AnsweredByNobodyTheReadFailsWithRefusalAndCloses)
{
    TClientSocket cli;
    std::string error;
    cli.OnRead = [&](TSockCtrl*, TSocketBase* s) {
        char buffer[8];
        error = raisedBy([&] { s->Read(buffer, sizeof buffer); });
    };
    std::uint16_t silent = 0;
    {
        UdpPeer gone;
        silent = gone.port();
    }
    TDatagramSocket* socket = openDatagram(cli, silent);
    socket->Write("", 0);
    ASSERT_TRUE(pumpUntil([&] { return !error.empty(); }));
    EXPECT_EQ(error, "Error 10061 (Connection refused) recieving");
    EXPECT_EQ(socket->State, ssClosed);
    EXPECT_TRUE(handleIsOpen(socket->Handle));
    pumpFor(20);
}

} // namespace
