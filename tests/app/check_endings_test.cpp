// How a check ends when something happens at the wrong moment: a notification
// already queued when the socket closes, Stop or a time-out during a look-up,
// Exit during a look-up, a time-out in the check auto-connect starts.
#include "app/window_fixture.h"

#include "app/time_peer.h"
#include "net/loopback.h"
#include "net/notify_queue.h"
#include "net/winsock_api.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

namespace testing_support {
namespace {

using Lines = std::vector<std::string>;

// Look-ups that never answer by themselves; `lastLookUp` is the request a
// test may complete (with an error) to stand for a resolver giving up.
ws::HANDLE lastLookUp = 0;
ws::HANDLE neverAnswered(platform::HWND, unsigned int, const char*, char*, int)
{
    static ws::HANDLE next = 0x60000000;
    return lastLookUp = ++next;
}
ws::HANDLE neverAnsweredService(platform::HWND, unsigned int, const char*, const char*, char*, int)
{
    return neverAnswered(0, 0, nullptr, nullptr, 0);
}

class CheckEndings : public WindowTest {
protected:
    void TearDown() override
    {
        OverrideSocketFunction("WSAAsyncGetHostByName", nullptr);
        OverrideSocketFunction("WSAAsyncGetServByName", nullptr);
        WindowTest::TearDown();
        platform::ForgetApplicationTerminating();
    }
    TViewForm& openOn(const std::string& port, const QByteArray& settings)
    {
        writeSettings("[ViewForm]\n" + settings);
        return open(port);
    }
    bool logged(const std::string& line) const
    {
        const Lines lines = log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool idle() const { return form->btnConnect->isEnabled() && !form->CheckRunning(); }
    void postLate(unsigned int event)
    {
        platform::PostMessage(form->cli.Window(), WM_SOCKETNOTIFY,
                              static_cast<platform::WPARAM>(form->cli.CurrentSocket()->Handle),
                              platform::MakeSelectLParam(event, 0));
    }
    // The next Connect starts a check of its own rather than failing to open.
    void expectNextCheckStarts(int checkNumber)
    {
        const std::string n = std::to_string(checkNumber);
        form->btnConnect->click();
        ASSERT_TRUE(pumpUntil([&] { return logged(n + ">Connected...") || logged(n + ">Error: unable to create socket."); }));
        EXPECT_FALSE(logged(n + ">Error: unable to create socket."));
        form->btnStop->click();
    }
};

TEST_F(CheckEndings, AConnectQueuedBeforeStopLeavesTheNextCheckWorking)
{
    TimePeer peer(TimePeer::Answer::Silent, timestampOf(noon()));
    TViewForm& window = openOn(std::to_string(peer.port()), "Server=127.0.0.1\nTimeout=5\n");
    window.btnConnect->click();
    postLate(ws::FD_CONNECT);
    window.btnStop->click();
    pumpFor(200);
    EXPECT_EQ(log(), (Lines{"1>Looking up host", "1>Connecting to 127.0.0.1", "1>Disconnected."}));
    EXPECT_FALSE(window.cli.IsOpen());
    expectNextCheckStarts(2);
    EXPECT_TRUE(errors.empty());
}

TEST_F(CheckEndings, AConnectQueuedBeforeATimeOutLeavesTheNextCheckWorking)
{
    TimePeer peer(TimePeer::Answer::Silent, timestampOf(noon()));
    TViewForm& window = openOn(std::to_string(peer.port()), "Server=127.0.0.1\nTimeout=1\nRetry=0\n");
    const TSockInfoEvent info = window.cli.OnInfo;
    window.cli.OnInfo = [&](TSockCtrl* sender, TSockInfo code, TSocketBase* socket) {
        if (code == siTimeOut)
            postLate(ws::FD_CONNECT);
        info(sender, code, socket);
    };
    window.btnConnect->click();
    ASSERT_TRUE(pumpUntil([&] { return idle() && log().back() == "1>Connection timed out..."; }));
    pumpFor(200);
    EXPECT_FALSE(window.cli.IsOpen());
    expectNextCheckStarts(2);
}

// Times the check out just as its connection is about to be reported, then
// delivers that report again once the retry's socket is connecting.
class TimeOutOnFirstConnect : public QObject {
public:
    explicit TimeOutOnFirstConnect(TViewForm& window) : window_(window) {}
    platform::Message late;
    bool done = false;
    int holder = -1;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const platform::Message* message = platform::PostedMessage(event);
        if (done || !message || message->msg != WM_SOCKETNOTIFY || platform::LowWord(message->lParam) != ws::FD_CONNECT)
            return false;
        done = true;
        late = *message;
        window_.cliTimeOut(&window_.cli, window_.cli.CurrentSocket());
        // The old number stays taken, so the retry's socket gets another one.
        holder = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        return true;
    }

private:
    TViewForm& window_;
};

TEST_F(CheckEndings, AConnectOfTheTimedOutSocketNeverReachesTheRetry)
{
    TimePeer peer(TimePeer::Answer::Silent, timestampOf(noon()));
    TViewForm& window = openOn(std::to_string(peer.port()), "Server=127.0.0.1\nTimeout=5\nRetry=1\n");
    TimeOutOnFirstConnect filter(window);
    platform::windowFromHandle(window.cli.Window())->installEventFilter(&filter);
    window.btnConnect->click();
    ASSERT_TRUE(pumpUntil([&] { return logged("2>Connecting to 127.0.0.1"); }));
    ASSERT_NE(static_cast<int>(filter.late.wParam), window.cli.CurrentSocket()->Handle);
    platform::PostMessage(window.cli.Window(), filter.late.msg, filter.late.wParam, filter.late.lParam);
    ASSERT_TRUE(pumpUntil([&] { return logged("2>Connected..."); }));
    pumpFor(200);
    ::close(filter.holder);
    const Lines lines = log();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "2>Connected..."), 1);
    EXPECT_EQ(lines[3], "1>Attempt #2");
    window.btnStop->click();
}

// Stop, or the time-out, while the service look-up inside Open waits: the
// check's ending line is its last. Later the resolver gives up, which must
// change nothing.
TEST_F(CheckEndings, StopOrATimeOutDuringALookUpLogsNothingAfterTheEndingLine)
{
    struct Case {
        const char* name;
        int stopAfterMilliseconds;   // 0: no Stop, the 1-second time-out ends it
        const char* endingLine;
    };
    for (const Case& c : {Case{"stop", 300, "1>Disconnected."}, Case{"time-out", 0, "1>Connection timed out..."}}) {
        SCOPED_TRACE(c.name);
        TViewForm& window = openOn("time", "Server=127.0.0.1\nTimeout=1\nRetry=0\n");
        OverrideSocketFunction("WSAAsyncGetServByName", reinterpret_cast<void*>(&neverAnsweredService));
        if (c.stopAfterMilliseconds > 0)
            QTimer::singleShot(c.stopAfterMilliseconds, window.btnStop, &QPushButton::click);
        const platform::HWND controlWindow = window.cli.Window();
        QTimer::singleShot(2000, [controlWindow] {
            platform::PostMessage(controlWindow, WM_ASYNCWAIT, lastLookUp, platform::MakeSelectLParam(0, ws::WSANO_DATA));
        });
        window.btnConnect->click();
        ASSERT_TRUE(pumpUntil([&] { return idle(); }));
        const int gauge = window.ProgressBar1->value();
        pumpFor(2300);
        EXPECT_EQ(log(), (Lines{"1>Looking up host", c.endingLine}));
        EXPECT_EQ(window.ProgressBar1->value(), gauge);
        EXPECT_FALSE(window.cli.Armed());
        EXPECT_TRUE(errors.empty());
        OverrideSocketFunction("WSAAsyncGetServByName", nullptr);
        form.reset();
    }
}

TEST_F(CheckEndings, AutoConnectRetriesAreNumberedFromTwo)
{
    OverrideSocketFunction("WSAAsyncGetHostByName", reinterpret_cast<void*>(&neverAnswered));
    TViewForm& window = openOn("37", "Server=time.example\nTimeout=1\nAutoConnect=1\n");
    ASSERT_TRUE(pumpUntil([&] { return idle() && window.checkNo == 4; }, 15000));
    const Lines lines = log();
    Lines attempts;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(attempts),
                 [](const std::string& line) { return line.find(">Attempt #") != std::string::npos; });
    EXPECT_EQ(attempts, (Lines{"1>Attempt #2", "2>Attempt #3", "3>Attempt #4"}));
    EXPECT_EQ(window.attemptNo, 1);
}

TEST_F(CheckEndings, ExitDuringALookUpEndsTheProgramAtOnce)
{
    OverrideSocketFunction("WSAAsyncGetHostByName", reinterpret_cast<void*>(&neverAnswered));
    writeSettings("[ViewForm]\nServer=time.example\nTimeout=6\nRetry=0\n");
    ViewFormServices services{zone,   clock, systemTime, tray, cursor, platform::UsFormatSettings(),
                              "37",   [] { QCoreApplication::quit(); }};
    form = std::make_unique<TViewForm>(services);
    TViewForm& window = *form;
    window.show();
    QTimer::singleShot(0, window.btnConnect, &QPushButton::click);
    QTimer::singleShot(300, window.btnExit, &QPushButton::click);
    QElapsedTimer elapsed;
    elapsed.start();
    QCoreApplication::exec();
    EXPECT_LT(elapsed.elapsed(), 2000);   // the time-out would end the look-up after 6 s
    EXPECT_EQ(log(), (Lines{"1>Looking up host"}));
}

} // namespace
} // namespace testing_support
