// Which way the clock is set after a check: left to a time service, stepped by
// the system's time and date service, or set with the right to set it.
#include "app/window_fixture.h"

#include "app/time_peer.h"
#include "fakes/fake_timedate1.h"
#include "platform/timedate1.h"
#include "support/timedated_mock.h"

#include <QPushButton>

namespace testing_support {
namespace {

using Lines = std::vector<std::string>;
using platform::ClockShiftOutcome;

const std::string kKept = "1>The system's time service keeps the clock: not changed.";

class ClockSetting : public WindowTest {
protected:
    // A window with Adjust on, given a server time `ahead` seconds ahead of the PC.
    TViewForm& checkedWith(int ahead, const QByteArray& extra = "")
    {
        writeSettings("[ViewForm]\nAdjust=1\n" + extra);
        TViewForm& window = open();
        window.checkEngine().setCheckNumber(1);
        window.showtime(timeAnswerOf(timestampOf(noon().addSecs(ahead))));
        return window;
    }
    fakes::FakeTimeDate service;
};

TEST_F(ClockSetting, TheServiceStepsTheClockByTheCorrectionAndTheCheckEndsWithItsAnswer)
{
    timeDate = &service;
    TViewForm& window = checkedWith(7);
    EXPECT_EQ(service.asked, std::vector<std::int64_t>{7000000});
    EXPECT_EQ(log(), Lines{"1>Correcting System Time"});
    window.checkEngine().setCheckNumber(2);   // another check has begun meanwhile
    ASSERT_TRUE(service.answerOne());
    EXPECT_EQ(log(), (Lines{"1>Correcting System Time", "1>Clock set to 12:00:00 PM", "1>Disconnected."}));
    EXPECT_TRUE(systemTime.setRecords.empty());
    EXPECT_EQ(tray.lastTip(), "Clock adjusted + 7.00 s");

    checkedWith(-3);
    EXPECT_EQ(service.asked.back(), -3000000);
}

TEST_F(ClockSetting, AClockKeptByATimeServiceIsLeftAloneAndTheCorrectionStillShown)
{
    timeDate = &service;
    service.answer = {ClockShiftOutcome::KeptByTimeService, {}};
    checkedWith(7);
    service.answerOne();
    EXPECT_EQ(log(), (Lines{"1>Correcting System Time", kKept, "1>Disconnected."}));
    EXPECT_EQ(tray.lastTip(), "Clock adjusted + 7.00 s");
    EXPECT_TRUE(systemTime.calls.empty());
}

TEST_F(ClockSetting, RefusalsAreLoggedAndTipped)
{
    timeDate = &service;
    const struct {
        platform::ClockShiftResult answer;
        Lines lines;
    } cases[] = {
        {{ClockShiftOutcome::NotAuthorised, "org.freedesktop.DBus.Error.AccessDenied: no"},
         {"1>Error: Not authorised to correct System Time."}},
        {{ClockShiftOutcome::AutomaticSyncOn, "org.freedesktop.timedate1.AutomaticTimeSyncEnabled: on"},
         {"1>Error: Automatic time synchronisation is on."}},
        {{ClockShiftOutcome::Failed, "org.freedesktop.DBus.Error.NoReply: late"},
         {"1>Error: Unable to correct System Time.", "1>org.freedesktop.DBus.Error.NoReply: late"}},
    };
    for (const auto& c : cases) {
        service.answer = c.answer;
        checkedWith(7);
        service.answerOne();
        Lines expected{"1>Correcting System Time"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        expected.push_back("1>Disconnected.");
        EXPECT_EQ(log(), expected);
        EXPECT_EQ("1>" + tray.lastTip(), c.lines.front()) << c.answer.detail;
        EXPECT_TRUE(systemTime.calls.empty());
    }
}

TEST_F(ClockSetting, WithoutTheServiceTheKernelStateThenTheRightDecide)
{
    for (const bool service_present : {false, true}) {
        timeDate = service_present ? &service : nullptr;
        service.answer = {ClockShiftOutcome::NoService, "org.freedesktop.DBus.Error.ServiceUnknown: none"};

        systemTime = {};
        systemTime.now = platform::SystemTimeFromUnixMilliseconds(noon().toMSecsSinceEpoch());
        systemTime.kernelSynchronised = true;
        checkedWith(7);
        service.answerOne();
        EXPECT_EQ(log(), (Lines{"1>Correcting System Time", kKept, "1>Disconnected."}));
        EXPECT_TRUE(systemTime.setRecords.empty());

        systemTime.kernelSynchronised = false;
        checkedWith(7);
        service.answerOne();
        EXPECT_EQ(log(), (Lines{"1>Correcting System Time", "1>Clock set to 12:00:00 PM", "1>Disconnected."}));
        EXPECT_EQ(systemTime.calls, (Lines{"get", "privilege on SeSystemtimePrivilege", "set",
                                            "privilege off SeSystemtimePrivilege"}));
        ASSERT_EQ(systemTime.setRecords.size(), 1u);
        EXPECT_EQ(systemTime.setRecords[0].wSecond, 7);
    }
}

TEST_F(ClockSetting, OneStepAtATimeAndNoneAfterTheWindowIsGone)
{
    timeDate = &service;
    TViewForm& window = checkedWith(7, "AutoMinimize=1\n");
    window.show();
    window.showtime(timeAnswerOf(timestampOf(noon().addSecs(7))));   // a second result while the first step awaits its answer
    EXPECT_EQ(service.asked.size(), 1u);
    EXPECT_EQ(log(), (Lines{"1>Correcting System Time", "1>Correcting System Time",
                            "1>Error: An earlier clock change still awaits the system's answer.", "1>Disconnected."}));
    EXPECT_FALSE(window.isVisible());

    form.reset();
    EXPECT_TRUE(service.answerOne());   // lands on no window, harmlessly
}

// The real client against the stand-in service, after a real check against a
// loopback server 7 s ahead.
class ClockSettingOverTheBus : public ClockSetting {
protected:
    Lines checkAgainstPeerAhead()
    {
        TimePeer peer(TimePeer::Answer::Whole, timestampOf(noon().addSecs(7)));
        writeSettings("[ViewForm]\nServer=127.0.0.1\nTimeout=5\nAdjust=1\n");
        TViewForm& window = open(std::to_string(peer.port()));
        window.btnConnect->click();
        const auto ended = [this] { return !log().empty() && log().back() == "1>Disconnected."; };
        EXPECT_TRUE(pumpUntil(ended, 60000)) << "the check did not end";
        return log();
    }
    platform::Timedate1Client client;
    TimedatedMock mock;
};

TEST_F(ClockSettingOverTheBus, AsksTheServiceOnceForTheRelativeStep)
{
    const QString why = mock.start(false);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    timeDate = &client;
    const Lines lines = checkAgainstPeerAhead();
    EXPECT_EQ(Lines(lines.end() - 3, lines.end()),
              (Lines{"1>Correcting System Time", "1>Clock set to 12:00:00 PM", "1>Disconnected."}));
    // The fake clock stands still, so the step is exactly the server's lead.
    EXPECT_EQ(mock.setTimeCalls(), Lines{"7000000 True True"});
    EXPECT_TRUE(systemTime.calls.empty());
}

TEST_F(ClockSettingOverTheBus, WithNtpOnAsksNothing)
{
    const QString why = mock.start(true);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    timeDate = &client;
    const Lines lines = checkAgainstPeerAhead();
    EXPECT_EQ(Lines(lines.end() - 3, lines.end()), (Lines{"1>Correcting System Time", kKept, "1>Disconnected."}));
    EXPECT_TRUE(mock.setTimeCalls().empty());
    EXPECT_TRUE(systemTime.calls.empty());
}

TEST_F(ClockSettingOverTheBus, WithoutTheServiceTheRightSetsTheClock)
{
    const QString why = PrivateSystemBus::ensureStarted();
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    timeDate = &client;
    const Lines lines = checkAgainstPeerAhead();
    EXPECT_EQ(Lines(lines.end() - 3, lines.end()),
              (Lines{"1>Correcting System Time", "1>Clock set to 12:00:00 PM", "1>Disconnected."}));
    ASSERT_EQ(systemTime.setRecords.size(), 1u);   // the fake's, never the machine's
    EXPECT_EQ(systemTime.setRecords[0].wSecond, 7);
}

} // namespace
} // namespace testing_support
