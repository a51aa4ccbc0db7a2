// Notifications raised for a socket handle before it was closed: they must
// never reach the closed object nor a newer socket of the same control.
#include "net/client_socket.h"
#include "net/notify_queue.h"
#include "net/sock_error.h"

#include "loopback.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

using testing_support::LoopbackListener;
using testing_support::pumpFor;
using testing_support::pumpUntil;
using testing_support::raisedBy;

namespace {

struct EventLog {
    TClientSocket cli;
    std::vector<std::string> events;

    explicit EventLog(std::uint16_t port)
    {
        cli.OnConnect = [this](TSockCtrl*, TSocketBase* s) { events.push_back("connect:" + std::to_string(s->LastError)); };
        cli.OnRead = [this](TSockCtrl*, TSocketBase*) { events.push_back("read"); };
        cli.OnWrite = [this](TSockCtrl*, TSocketBase*) { events.push_back("write"); };
        cli.OnDisconnect = [this](TSockCtrl*, TSocketBase*) { events.push_back("disconnect"); };
        cli.SetAddress("127.0.0.1");
        cli.SetPort(std::to_string(port));
    }
    ws::SOCKET handle() const { return cli.CurrentSocket()->Handle; }
    // As the platform posts it: queued now, delivered later.
    void postLate(ws::SOCKET handle, unsigned int event)
    {
        platform::PostMessage(cli.Window(), WM_SOCKETNOTIFY, static_cast<platform::WPARAM>(handle),
                              platform::MakeSelectLParam(event, 0));
    }
    int count(const std::string& event) const { return static_cast<int>(std::count(events.begin(), events.end(), event)); }
};

const unsigned int kEveryEvent[] = {ws::FD_CONNECT, ws::FD_READ, ws::FD_WRITE, ws::FD_CLOSE};

TEST(LateNotification, RaisedBeforeTheCloseIsDroppedAndTheNextOpenWorks)
{
    for (const unsigned int event : kEveryEvent) {
        SCOPED_TRACE("event " + std::to_string(event));
        LoopbackListener listener;
        EventLog client(listener.port());
        client.cli.Open(SocketClassOf<TStreamSocket>);
        client.postLate(client.handle(), event);
        client.cli.CurrentSocket()->Close();   // what Stop and a time-out do
        pumpFor(150);
        EXPECT_TRUE(client.events.empty());
        EXPECT_FALSE(client.cli.IsOpen());
        EXPECT_EQ(raisedBy([&] { client.cli.Open(SocketClassOf<TStreamSocket>); }), "");
        ASSERT_TRUE(pumpUntil([&] { return !client.events.empty(); }));
        EXPECT_EQ(client.events.front(), "connect:0");
    }
}

TEST(LateNotification, RaisedBeforeANewOpenNeverReachesTheNewSocket)
{
    for (const unsigned int event : kEveryEvent) {
        SCOPED_TRACE("event " + std::to_string(event));
        LoopbackListener listener;
        EventLog client(listener.port());
        client.cli.Open(SocketClassOf<TStreamSocket>);
        const ws::SOCKET old = client.handle();
        client.postLate(old, event);
        client.cli.CurrentSocket()->Close();
        // The old number stays taken, so the new socket gets another one.
        const int holder = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(holder, old);
        client.cli.Open(SocketClassOf<TStreamSocket>);
        ASSERT_NE(client.handle(), old);
        ASSERT_TRUE(pumpUntil([&] { return client.count("connect:0") > 0; }));
        pumpFor(150);
        ::close(holder);
        EXPECT_EQ(client.events, (std::vector<std::string>{"connect:0", "write"}));
    }
}

} // namespace
