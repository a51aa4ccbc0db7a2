#include "net/client_socket.h"
#include "net/notify_queue.h"
#include "net/sock_error.h"

#include "loopback.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <fcntl.h>
#include <string>
#include <vector>

using testing_support::LoopbackListener;
using testing_support::pumpFor;
using testing_support::pumpUntil;
using testing_support::raisedBy;

namespace {

// A client whose every event is written down in order.
struct RecordingClient {
    TClientSocket cli;
    std::vector<std::string> events;
    std::function<void(TSocketBase*)> onConnect;
    std::function<void(TSocketBase*)> onRead;
    std::function<void(TSocketBase*)> onTimeOut;

    RecordingClient()
    {
        cli.OnInfo = [this](TSockCtrl*, TSockInfo code, TSocketBase*) { events.push_back("info" + std::to_string(code)); };
        cli.OnConnect = [this](TSockCtrl*, TSocketBase* s) {
            events.push_back("connect:" + std::to_string(s->LastError));
            if (onConnect)
                onConnect(s);
        };
        cli.OnRead = [this](TSockCtrl*, TSocketBase* s) {
            events.push_back("read");
            if (onRead)
                onRead(s);
        };
        cli.OnDisconnect = [this](TSockCtrl*, TSocketBase*) { events.push_back("disconnect"); };
    }
    void enableTimeOut(int seconds)
    {
        cli.SetTimeOut(seconds);
        cli.OnTimeOut = [this](TSockCtrl*, TSocketBase* s) {
            events.push_back("timeout");
            if (onTimeOut)
                onTimeOut(s);
        };
    }
    bool saw(const std::string& event) const { return std::find(events.begin(), events.end(), event) != events.end(); }
};

TEST(ClientSocket, SuccessfulExchangeFiresEventsInOrder)
{
    LoopbackListener listener;
    RecordingClient client;
    int peer = -1;
    char received[4] = {};
    client.onConnect = [&](TSocketBase*) {
        peer = listener.accept();
        ASSERT_EQ(::write(peer, "\x83\xAA\x7E\x80", 4), 4);
    };
    client.onRead = [&](TSocketBase* s) {
        EXPECT_EQ(s->Read(received, 4), 4);
        s->Close();
    };
    client.cli.SetAddress("localhost");
    client.cli.SetPort(std::to_string(listener.port()));
    client.cli.Open(SocketClassOf<TStreamSocket>);
    EXPECT_EQ(client.cli.IPAddress(), "127.0.0.1");
    ASSERT_TRUE(pumpUntil([&] { return client.saw("info7"); }));
    pumpFor(50);
    const std::vector<std::string> expected{"info1", "info2", "info3", "connect:0", "read", "info5", "info7"};
    EXPECT_EQ(client.events, expected);
    EXPECT_EQ(std::string(received, 4), std::string("\x83\xAA\x7E\x80", 4));
    EXPECT_FALSE(client.cli.IsOpen());
    ::close(peer);
}

TEST(ClientSocket, RefusedConnectionIsOnConnectWithTheError)
{
    RecordingClient client;
    client.enableTimeOut(5);
    client.cli.SetAddress("127.0.0.1");
    client.cli.SetPort(std::to_string(testing_support::closedPort()));
    client.cli.Open(SocketClassOf<TStreamSocket>);
    EXPECT_TRUE(client.cli.Armed());
    ASSERT_TRUE(pumpUntil([&] { return client.events.size() >= 3; }));
    const std::vector<std::string> expected{"info1", "info2", "connect:10061"};
    EXPECT_EQ(client.events, expected);
    EXPECT_EQ(client.cli.CurrentSocket()->State, ssClosed);
    EXPECT_FALSE(client.cli.Armed());
    EXPECT_EQ(SocketErrorMessage(client.cli.CurrentSocket()->LastError, ctxConnecting),
              "Error 10061 (Connection refused) connecting");
}

TEST(ClientSocket, ConnectThatNeverCompletesTimesOut)
{
    // A full accept queue makes the kernel drop further connection attempts.
    LoopbackListener listener(0);
    int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(listener.port());
    ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    pumpFor(100);

    RecordingClient client;
    client.enableTimeOut(1);
    client.cli.SetAddress("127.0.0.1");
    client.cli.SetPort(std::to_string(listener.port()));
    QElapsedTimer clock;
    clock.start();
    client.cli.Open(SocketClassOf<TStreamSocket>);
    ASSERT_TRUE(pumpUntil([&] { return client.saw("timeout"); }, 10000));
    EXPECT_GE(clock.elapsed(), 900);
    const std::vector<std::string> expected{"info1", "info2", "info8", "timeout"};
    EXPECT_EQ(client.events, expected);
    EXPECT_FALSE(client.cli.Armed());
    ::close(filler);
}

TEST(ClientSocket, UnknownHostRaisesFromOpen)
{
    RecordingClient client;
    client.cli.SetAddress("no-such-host.invalid");
    client.cli.SetPort("37");
    EXPECT_EQ(raisedBy([&] { client.cli.Open(SocketClassOf<TStreamSocket>); }),
              "Error 11001 (Host not found) finding address for host");
    EXPECT_EQ(client.events, std::vector<std::string>{"info1"});
}

TEST(ClientSocket, EmptyAddressFailsAfterLookUpReport)
{
    RecordingClient client;
    client.cli.SetAddress("");
    client.cli.SetPort("37");
    EXPECT_EQ(raisedBy([&] { client.cli.Open(SocketClassOf<TStreamSocket>); }), "No address specified");
    EXPECT_EQ(client.events, std::vector<std::string>{"info1"});
}

TEST(ClientSocket, PropertySetters)
{
    TClientSocket cli;
    cli.SetAddress("255.255.255.255");
    EXPECT_EQ(cli.HostName(), "255.255.255.255");
    EXPECT_EQ(cli.IPAddress(), "");
    cli.SetAddress("10.1.2.3");
    EXPECT_EQ(cli.HostName(), "");
    EXPECT_EQ(cli.IPAddress(), "10.1.2.3");
    cli.SetAddress(std::string(300, 'a'));
    EXPECT_EQ(cli.HostName().size(), 300u);

    cli.SetPort("37");
    EXPECT_EQ(cli.PortNumber(), 37);
    EXPECT_EQ(cli.ServiceName(), "time");
    cli.SetPort("time");
    EXPECT_EQ(cli.PortNumber(), 37);
    EXPECT_EQ(cli.ServiceName(), "time");
    cli.SetPort("70000");
    EXPECT_EQ(cli.PortNumber(), 4464);
    cli.SetPort("-1");
    EXPECT_EQ(cli.ServiceName(), "-1");
    EXPECT_EQ(cli.PortNumber(), 0);

    cli.SetProtocol("udp");
    EXPECT_EQ(cli.ProtocolName(), "udp");
    EXPECT_EQ(cli.ProtocolNumber(), 17);
    cli.SetProtocol("17");
    EXPECT_EQ(cli.ProtocolName(), "UDP");
    cli.SetProtocol("99");
    EXPECT_EQ(cli.ProtocolNumber(), 99);
    EXPECT_EQ(cli.ProtocolName(), "");
    cli.SetProtocol("carrier-pigeon");
    EXPECT_EQ(cli.ProtocolNumber(), -1);

    cli.SetTimeOut(-5);
    EXPECT_EQ(cli.TimeOut(), 0);
}

TEST(ClientSocket, CloseOffersWaitingBytesToOnReadFirst)
{
    LoopbackListener listener;
    RecordingClient client;
    int peer = -1;
    client.cli.SetAddress("127.0.0.1");
    client.cli.SetPort(std::to_string(listener.port()));
    client.cli.Open(SocketClassOf<TStreamSocket>);
    ASSERT_TRUE(pumpUntil([&] { return client.saw("connect:0"); }));
    peer = listener.accept();
    ASSERT_EQ(::write(peer, "abcd", 4), 4);
    ::usleep(50 * 1000);   // let the bytes land before the close, without handling their notification

    std::vector<int> statesSeen;
    std::string readError;
    client.onRead = [&](TSocketBase* s) {
        statesSeen.push_back(s->State);
        char buffer[4];
        readError = raisedBy([&] { s->Read(buffer, 4); });
    };
    client.events.clear();
    client.cli.Close();
    EXPECT_EQ(statesSeen, std::vector<int>{ssClosing});
    EXPECT_EQ(readError, "Socket not open");
    const std::vector<std::string> expected{"read", "info5", "info7"};
    EXPECT_EQ(client.events, expected);
    EXPECT_EQ(raisedBy([&] { client.cli.Close(); }), "Socket not open");
    ::close(peer);
    pumpFor(50);
}

TEST(ClientSocket, OpenWhileOpenIsRefused)
{
    LoopbackListener listener;
    RecordingClient client;
    client.cli.SetAddress("127.0.0.1");
    client.cli.SetPort(std::to_string(listener.port()));
    client.cli.Open(SocketClassOf<TStreamSocket>);
    ASSERT_TRUE(pumpUntil([&] { return client.cli.IsOpen(); }));
    TSocketBase* first = client.cli.CurrentSocket();
    EXPECT_EQ(raisedBy([&] { client.cli.Open(SocketClassOf<TStreamSocket>); }), "Socket Already opened");
    EXPECT_EQ(client.cli.CurrentSocket(), first);
    EXPECT_TRUE(client.cli.IsOpen());
}

TEST(NotifyQueue, NotificationsDuringALookUpAreDeliveredAfterItInOrder)
{
    LoopbackListener listener;
    RecordingClient busy;   // receives notifications while the other control looks up
    busy.cli.OnWrite = [&](TSockCtrl*, TSocketBase*) { busy.events.push_back("write"); };
    busy.cli.SetAddress("127.0.0.1");
    busy.cli.SetPort(std::to_string(listener.port()));
    busy.cli.Open(SocketClassOf<TStreamSocket>);
    ASSERT_TRUE(pumpUntil([&] { return busy.saw("connect:0"); }));
    pumpFor(50);
    busy.events.clear();

    RecordingClient looking;
    bool insideOpen = false;
    std::size_t queuedDuringLookUp = 0;
    looking.cli.OnInfo = [&](TSockCtrl*, TSockInfo code, TSocketBase*) {
        if (code == siLookUp) {
            // As the platform would post them while the look-up waits.
            const auto busyHandle = static_cast<platform::WPARAM>(busy.cli.CurrentSocket()->Handle);
            for (const unsigned int event : {ws::FD_READ, ws::FD_WRITE, ws::FD_CLOSE})
                platform::PostMessage(busy.cli.Window(), WM_SOCKETNOTIFY, busyHandle, platform::MakeSelectLParam(event, 0));
        }
        if (code == siConnect)
            queuedDuringLookUp = NotifyQueueLength();
    };
    looking.cli.SetAddress("localhost");
    looking.cli.SetPort(std::to_string(listener.port()));
    insideOpen = true;
    busy.onRead = [&](TSocketBase*) { EXPECT_FALSE(insideOpen); };
    looking.cli.Open(SocketClassOf<TStreamSocket>);
    insideOpen = false;
    EXPECT_EQ(queuedDuringLookUp, 3u);
    EXPECT_TRUE(busy.events.empty());
    ASSERT_TRUE(pumpUntil([&] { return busy.events.size() >= 3; }));
    const std::vector<std::string> expected{"read", "write", "disconnect"};
    EXPECT_EQ(busy.events, expected);
    // The looking control's own notifications queue behind them and drain too.
    EXPECT_TRUE(pumpUntil([] { return NotifyQueueEmpty(); }));
}

TEST(NotifyQueue, ClosingDropsTheControlsDeferredNotifications)
{
    RecordingClient client;
    ++WaitDepth();   // as inside a look-up of another control
    platform::SendMessage(client.cli.Window(), WM_SOCKETNOTIFY, 0, platform::MakeSelectLParam(ws::FD_READ, 0));
    EXPECT_EQ(NotifyQueueLength(), 1u);
    platform::SendMessage(client.cli.Window(), WM_SOCKETCLOSED, 0, 0);
    --WaitDepth();
    platform::PostMessage(client.cli.Window(), WM_DRAINQUEUE, 0, 0);
    ASSERT_TRUE(pumpUntil([] { return NotifyQueueEmpty(); }));
    pumpFor(30);
    EXPECT_TRUE(client.events.empty());
}

TEST(TimeOut, TwoArmedControlsExpireOldestFirst)
{
    RecordingClient older;
    RecordingClient newer;
    std::vector<std::string> order;
    older.enableTimeOut(1);
    newer.enableTimeOut(1);
    older.onTimeOut = [&](TSocketBase*) { order.push_back("older"); };
    newer.onTimeOut = [&](TSocketBase*) { order.push_back("newer"); };
    older.cli.SetSocketClass(SocketClassOf<TStreamSocket>);
    newer.cli.SetSocketClass(SocketClassOf<TStreamSocket>);
    older.cli.ArmTimeOut();
    newer.cli.ArmTimeOut();
    EXPECT_EQ(ArmedCount(), 2);
    ASSERT_TRUE(pumpUntil([&] { return order.size() == 2; }, 5000));
    EXPECT_EQ(order, (std::vector<std::string>{"older", "newer"}));
    EXPECT_EQ(ArmedCount(), 0);
}

TEST(TimeOut, DisarmingTheHeadKeepsTheOtherCounting)
{
    RecordingClient older;
    RecordingClient newer;
    older.enableTimeOut(1);
    newer.enableTimeOut(1);
    older.cli.SetSocketClass(SocketClassOf<TStreamSocket>);
    newer.cli.SetSocketClass(SocketClassOf<TStreamSocket>);
    older.cli.ArmTimeOut();
    newer.cli.ArmTimeOut();
    newer.cli.ArmTimeOut();   // armed twice: still listed once
    EXPECT_EQ(ArmedCount(), 2);
    newer.cli.DisarmTimeOut();
    EXPECT_EQ(ArmedCount(), 1);
    ASSERT_TRUE(pumpUntil([&] { return older.saw("timeout"); }, 5000));
    EXPECT_FALSE(newer.saw("timeout"));
    EXPECT_EQ(ArmedCount(), 0);
}

// A host look-up that never completes, so that only the time-out can end it.
ws::HANDLE hangingHostLookUp(platform::HWND, unsigned int, const char*, char*, int)
{
    static ws::HANDLE next = 0x70000000;
    return ++next;
}

TEST(TimeOut, OpenFromOnTimeOutDuringALookUpKeepsTheWaitingSocketAlive)
{
    OverrideSocketFunction("WSAAsyncGetHostByName", reinterpret_cast<void*>(&hangingHostLookUp));
    RecordingClient client;
    client.enableTimeOut(1);
    client.cli.SetAddress("time.example");
    client.cli.SetPort("37");
    int reopened = 0;
    std::string innerError;
    client.onTimeOut = [&](TSocketBase*) {
        if (reopened++ > 0)
            return;
        innerError = raisedBy([&] { client.cli.Open(SocketClassOf<TStreamSocket>); });
    };
    const std::string outerError = raisedBy([&] { client.cli.Open(SocketClassOf<TStreamSocket>); });
    OverrideSocketFunction("WSAAsyncGetHostByName", nullptr);
    EXPECT_EQ(innerError, "Error 10060 (Connection timed out) finding address for host");
    EXPECT_EQ(outerError, "Error 10060 (Connection timed out) finding address for host");
    EXPECT_EQ(reopened, 2);
    EXPECT_EQ(ArmedCount(), 0);
    EXPECT_EQ(WaitDepth(), 0);
}

} // namespace
