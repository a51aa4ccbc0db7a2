#include "net/client_socket.h"
#include "net/notify_queue.h"
#include "net/sock_error.h"

#include "loopback.h"

#include <gtest/gtest.h>

namespace {

int refusingStartup(std::uint16_t, ws::WSADATA*)
{
    return ws::WSAVERNOTSUPPORTED;
}

TEST(SocketLibrary, FailedStartupRaisesAndTheNextControlTriesAgain)
{
    ASSERT_EQ(SockCtrlCount(), 0) << "another test left a control alive";
    OverrideSocketFunction("WSAStartup", reinterpret_cast<void*>(&refusingStartup));
    try {
        TClientSocket refused;
        FAIL() << "a control was made without a started library";
    } catch (const ESockError& error) {
        EXPECT_STREQ(error.what(), "Error 10092 (WINSOCK DLL Version out of range) starting up WinSock");
    }
    EXPECT_FALSE(SocketsStarted());
    OverrideSocketFunction("WSAStartup", nullptr);
    {
        TClientSocket started;
        EXPECT_TRUE(SocketsStarted());
        EXPECT_EQ(SockCtrlCount(), 1);
    }
    // The last control stops the library and discards the binding.
    EXPECT_EQ(SockCtrlCount(), 0);
    EXPECT_FALSE(SocketsStarted());
}

TEST(SocketLibrary, AddressIsClassifiedBeforeAnyStartUp)
{
    ShutdownSockets();
    EXPECT_FALSE(WinsockAPI().Loaded());
    EXPECT_NE(WinsockAPI().inet_addr("127.0.0.1"), ws::INADDR_NONE_);
    EXPECT_TRUE(WinsockAPI().Loaded());
    EXPECT_FALSE(SocketsStarted());
}

TEST(AsyncRequests, CompletionFiresOnAsyncCompleteAndEmptiesTheList)
{
    TClientSocket cli;
    tAsyncInfo first{41, 0};
    tAsyncInfo second{42, 0};
    cli.AddAsyncRequest(&first);
    cli.AddAsyncRequest(&second);
    std::vector<ws::HANDLE> completed;
    cli.OnAsyncComplete = [&](TSockCtrl*, tAsyncInfo* request) { completed.push_back(request->handle); };
    platform::SendMessage(cli.Window(), WM_ASYNCREQUEST, 42, platform::MakeSelectLParam(0, 11001));
    platform::SendMessage(cli.Window(), WM_ASYNCREQUEST, 99, 0);   // not ours: ignored
    platform::SendMessage(cli.Window(), WM_ASYNCREQUEST, 41, 0);
    platform::SendMessage(cli.Window(), WM_ASYNCREQUEST, 41, 0);   // already completed
    EXPECT_EQ(completed, (std::vector<ws::HANDLE>{42, 41}));
    EXPECT_EQ(second.error, 11001);
    EXPECT_EQ(first.error, 0);
}

TEST(WndProc, HandlerErrorsReachTheStandardReportAndTheControlStaysUsable)
{
    testing_support::LoopbackListener listener;
    TClientSocket cli;
    cli.SetAddress("127.0.0.1");
    cli.SetPort(std::to_string(listener.port()));
    cli.Open(SocketClassOf<TStreamSocket>);
    const auto handle = static_cast<platform::WPARAM>(cli.CurrentSocket()->Handle);
    std::vector<std::string> reported;
    auto previous = platform::SetErrorReport([&](const std::string& message, const QObject*) {
        reported.push_back(message);
    });
    int reads = 0;
    cli.OnRead = [&](TSockCtrl*, TSocketBase* socket) {
        ++reads;
        char buffer[4];
        socket->Read(buffer, 4);   // not connected: raises
    };
    // Delivered before the connection is reported, so Read finds it not open.
    platform::SendMessage(cli.Window(), WM_SOCKETNOTIFY, handle, platform::MakeSelectLParam(ws::FD_READ, 0));
    platform::SendMessage(cli.Window(), WM_SOCKETNOTIFY, handle, platform::MakeSelectLParam(ws::FD_READ, 0));
    EXPECT_TRUE(testing_support::pumpUntil([&] { return reads == 2; }));
    platform::SetErrorReport(previous);
    EXPECT_EQ(reported, (std::vector<std::string>{"Socket not open", "Socket not open"}));
}

} // namespace
