// How a check ends when something happens at the wrong moment: Stop or a
// time-out with the connection open, Exit during a check, a time-out in the
// check auto-connect starts.
#include "app/window_fixture.h"

#include "app/time_peer.h"
#include "net/loopback.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace testing_support {
namespace {

using Lines = std::vector<std::string>;

class CheckEndings : public WindowTest {
protected:
    void TearDown() override
    {
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

// Stop or a time-out ends the check with its line; nothing the closed
// connection might still report follows it, and the next check works.
TEST_F(CheckEndings, StopOrATimeOutLeavesTheNextCheckWorking)
{
    struct Case {
        const char* name;
        bool stop;
        const char* endingLine;
    };
    for (const Case& c : {Case{"stop", true, "1>Disconnected."}, Case{"time-out", false, "1>Connection timed out..."}}) {
        SCOPED_TRACE(c.name);
        TimePeer peer(TimePeer::Answer::Silent, timestampOf(noon()));
        TViewForm& window = openOn(std::to_string(peer.port()), "Server=127.0.0.1\nTimeout=1\nRetry=0\n");
        window.btnConnect->click();
        ASSERT_TRUE(pumpUntil([&] { return logged("1>Connected..."); }));
        if (c.stop)
            window.btnStop->click();
        ASSERT_TRUE(pumpUntil([&] { return idle(); }));
        const int gauge = window.ProgressBar1->value();
        pumpFor(300);
        EXPECT_EQ(log(), (Lines{"1>Looking up host", "1>Connecting to 127.0.0.1", "1>Connected...", c.endingLine}));
        EXPECT_EQ(window.ProgressBar1->value(), gauge);
        expectNextCheckStarts(2);
        EXPECT_TRUE(errors.empty());
        form.reset();
    }
}

TEST_F(CheckEndings, AutoConnectRetriesAreNumberedFromTwo)
{
    TimePeer peer(TimePeer::Answer::Silent, timestampOf(noon()));
    TViewForm& window = openOn(std::to_string(peer.port()), "Server=127.0.0.1\nTimeout=1\nAutoConnect=1\n");
    ASSERT_TRUE(pumpUntil([&] { return idle() && window.checkEngine().checkNumber() == 4; }, 15000));
    const Lines lines = log();
    Lines attempts;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(attempts),
                 [](const std::string& line) { return line.find(">Attempt #") != std::string::npos; });
    EXPECT_EQ(attempts, (Lines{"1>Attempt #2", "2>Attempt #3", "3>Attempt #4"}));
    EXPECT_EQ(window.checkEngine().attemptNumber(), 1);
}

TEST_F(CheckEndings, ExitDuringACheckEndsTheProgramAtOnce)
{
    TimePeer peer(TimePeer::Answer::Silent, timestampOf(noon()));
    writeSettings("[ViewForm]\nServer=127.0.0.1\nTimeout=6\nRetry=0\n");
    ViewFormServices services{zone,   clock, systemTime, tray, cursor, platform::UsFormatSettings(),
                              std::to_string(peer.port()),   [] { QCoreApplication::quit(); }};
    form = std::make_unique<TViewForm>(services);
    TViewForm& window = *form;
    window.show();
    QTimer::singleShot(0, window.btnConnect, &QPushButton::click);
    QTimer::singleShot(300, window.btnExit, &QPushButton::click);
    QElapsedTimer elapsed;
    elapsed.start();
    QCoreApplication::exec();
    EXPECT_LT(elapsed.elapsed(), 2000);   // the time-out would end the check after 6 s
    EXPECT_EQ(log().front(), "1>Looking up host");
}

} // namespace
} // namespace testing_support
