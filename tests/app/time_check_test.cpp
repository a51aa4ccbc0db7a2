// Whole checks against loopback Time servers: the log, the gauge, the tips.
// The socket layer's headers come before the system's socket headers, whose
// byte-order macros would rename its members.
#include "app/window_fixture.h"

#include "app/time_peer.h"
#include "net/loopback.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace testing_support {
namespace {

using Lines = std::vector<std::string>;

class TimeCheck : public WindowTest {
protected:
    // A window aimed at the loopback port, Adjust on, the time-out 1 second.
    TViewForm& openOn(std::uint16_t port, const QByteArray& extra = "")
    {
        writeSettings("[ViewForm]\nServer=127.0.0.1\nTimeout=1\n" + extra);
        TViewForm& window = open(std::to_string(port));
        QObject::connect(window.ProgressBar1, &QProgressBar::valueChanged,
                         [this](int value) { gauge.push_back(value); });
        return window;
    }
    bool idle() const { return form->btnConnect->isEnabled() && !form->CheckRunning(); }
    bool runUntilIdle(int milliseconds = 5000)
    {
        return pumpUntil([this] { return idle(); }, milliseconds);
    }
    void expectIdleState()
    {
        EXPECT_TRUE(form->btnConnect->isEnabled());
        EXPECT_FALSE(form->btnStop->isEnabled());
        EXPECT_TRUE(form->mnuSynchro->isEnabled());
        EXPECT_TRUE(form->ProgressBar1->isHidden());
        EXPECT_EQ(cursor.current, 0);
    }
    std::vector<int> gauge;
};

TEST_F(TimeCheck, ASuccessfulCheckLogsEveryStepAndSetsTheClock)
{
    TimePeer peer(TimePeer::Answer::Whole, timestampOf(noon().addSecs(5)));
    TViewForm& window = openOn(peer.port());
    window.btnConnect->click();
    EXPECT_EQ(cursor.current, 1);
    EXPECT_FALSE(window.btnConnect->isEnabled());
    EXPECT_FALSE(window.mnuSynchro->isEnabled());
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(log(), (Lines{"1>Looking up host", "1>Connecting to 127.0.0.1", "1>Connected...", "1>Reading time",
                            "1>Correcting System Time", "1>Clock set to 12:00:00 PM", "1>Disconnected."}));
    EXPECT_EQ(gauge, (std::vector<int>{15, 30, 45, 65, 85}));
    EXPECT_EQ(tips(), (Lines{"", "Tikora 2.0", "Connected...", "Reading time..", "Clock adjusted + 5.00 s"}));
    EXPECT_EQ(window.svrTime->text(), "12:00:05 PM");
    EXPECT_EQ(window.lclTime->text(), "12:00:00 PM");
    EXPECT_EQ(window.Correction->text(), "+ 5.00 s");
    expectIdleState();
    ASSERT_EQ(systemTime.setRecords.size(), 1u);
    EXPECT_EQ(systemTime.setRecords[0].wSecond, 5);
    pumpFor(200);   // the server's close, if it comes, adds no line
    EXPECT_EQ(log().size(), 7u);
    EXPECT_EQ(window.checkEngine().attemptNumber(), 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(TimeCheck, BytesInSinglePiecesAreCollected)
{
    TimePeer peer(TimePeer::Answer::Drip, timestampOf(noon().addSecs(-3)));
    TViewForm& window = openOn(peer.port(), "Adjust=0\n");
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    const Lines lines = log();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "1>Reading time"), 1);   // one line per request
    EXPECT_EQ(lines.back(), "1>Disconnected.");
    EXPECT_EQ(window.Correction->text(), "- 3.00 s");
    EXPECT_TRUE(systemTime.calls.empty());
    EXPECT_EQ(tips().back(), "Clock adjusted - 3.00 s");
}

TEST_F(TimeCheck, TwoBytesThenCloseIsAReadError)
{
    TimePeer peer(TimePeer::Answer::TwoThenClose, timestampOf(noon()));
    TViewForm& window = openOn(peer.port());
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    pumpFor(100);
    const Lines lines = log();
    EXPECT_EQ(lines.back(), "1Error reading timestamp.");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "1Error reading timestamp."), 1);
    EXPECT_EQ(tips().back(), "Reading time..");
    EXPECT_TRUE(window.svrTime->text().isEmpty());
    EXPECT_EQ(peer.connections(), 1);   // no retry
    expectIdleState();
}

TEST_F(TimeCheck, ARefusedConnectionEndsTheCheck)
{
    TViewForm& window = openOn(closedPort());
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(log(), (Lines{"1>Looking up host", "1>Connecting to 127.0.0.1",
                            "1>Error 10061 (Connection refused) connecting"}));
    EXPECT_EQ(tips().back(), "Error 10061 (Connection refused) connecting");
    expectIdleState();
    EXPECT_EQ(window.checkEngine().retriesLeft(), 3);
}

TEST_F(TimeCheck, ACloseWithNothingReceived)
{
    TimePeer peer(TimePeer::Answer::CloseAtOnce, timestampOf(noon()));
    TViewForm& window = openOn(peer.port(), "AutoMinimize=1\n");
    window.show();
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(log(), (Lines{"1>Looking up host", "1>Connecting to 127.0.0.1", "1>Connected...",
                            "1>Connection closed by host."}));
    EXPECT_EQ(tips().back(), "Connection closed by host.");
    EXPECT_FALSE(window.isVisible());   // "Minimize after time-check" hides it
    expectIdleState();
}

TEST_F(TimeCheck, ASilentServerTimesOutAndIsTriedFourTimes)
{
    TimePeer peer(TimePeer::Answer::Silent, timestampOf(noon()));
    TViewForm& window = openOn(peer.port());
    window.btnConnect->click();
    ASSERT_TRUE(pumpUntil([&] { return idle() && window.checkEngine().checkNumber() == 4; }, 15000));
    pumpFor(100);
    Lines expected;
    for (int check = 1; check <= 4; ++check) {
        const std::string n = std::to_string(check);
        for (const char* line : {">Looking up host", ">Connecting to 127.0.0.1", ">Connected...",
                                 ">Connection timed out..."})
            expected.push_back(n + line);
        if (check < 4)
            expected.push_back(n + ">Attempt #" + std::to_string(check + 1));
    }
    EXPECT_EQ(log(), expected);
    EXPECT_EQ(tips().back(), "Connection timed out...");
    EXPECT_EQ(window.checkEngine().attemptNumber(), 1);
    EXPECT_EQ(window.checkEngine().retriesLeft(), 3);
    expectIdleState();
}

TEST_F(TimeCheck, WithRetryOffATimeOutEndsTheCheck)
{
    TimePeer peer(TimePeer::Answer::Silent, timestampOf(noon()));
    TViewForm& window = openOn(peer.port(), "Retry=0\n");
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle(5000));
    pumpFor(100);
    EXPECT_EQ(log().back(), "1>Connection timed out...");
    EXPECT_EQ(window.checkEngine().checkNumber(), 1);
    EXPECT_EQ(window.checkEngine().retriesLeft(), 0);
}

TEST_F(TimeCheck, StopWhileConnecting)
{
    TimePeer peer(TimePeer::Answer::Silent, timestampOf(noon()));
    TViewForm& window = openOn(peer.port());
    window.btnStop->click();   // idle: nothing
    EXPECT_TRUE(log().empty());
    window.btnConnect->click();
    window.btnStop->click();
    EXPECT_EQ(log(), (Lines{"1>Looking up host", "1>Connecting to 127.0.0.1", "1>Disconnected."}));
    expectIdleState();
    pumpFor(300);
    EXPECT_EQ(log().size(), 3u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(TimeCheck, BytesBeyondTheFourthAreLeftUnread)
{
    TimePeer peer(TimePeer::Answer::SixBytes, timestampOf(noon().addSecs(1)));
    TViewForm& window = openOn(peer.port(), "Adjust=0\n");
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    pumpFor(300);
    EXPECT_EQ(log().back(), "1>Disconnected.");
    EXPECT_EQ(window.Correction->text(), "+ 1.00 s");
    EXPECT_TRUE(errors.empty());
}

TEST_F(TimeCheck, AHostThatCannotBeResolved)
{
    // A label longer than 63 characters fails in the resolver itself, with no
    // name server asked (a slow one would turn this into a time-out).
    writeSettings("[ViewForm]\nServer=" + QByteArray(70, 'a') + ".invalid\nTimeout=1\n");
    TViewForm& window = open("37");
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(log().back(), "1>Error: unable to create socket.");
    EXPECT_EQ(tips().back(), "Error: unable to create socket.");
    expectIdleState();
}

TEST_F(TimeCheck, AutoConnectStartsTheFirstCheckAtStart)
{
    TimePeer peer(TimePeer::Answer::Whole, timestampOf(noon()));
    writeSettings("[ViewForm]\nServer=127.0.0.1\nAutoConnect=1\n");
    TViewForm& window = open(std::to_string(peer.port()));
    ASSERT_FALSE(log().empty());
    EXPECT_EQ(log().front(), "1>Looking up host");
    ASSERT_TRUE(runUntilIdle());
    EXPECT_EQ(window.Correction->text(), "Clocks Match!");
    EXPECT_EQ(tips().back(), "Clock is synchronized!");
}

} // namespace
} // namespace testing_support
