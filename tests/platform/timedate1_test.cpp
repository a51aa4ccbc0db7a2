// The client of the system's time and date service against python3-dbusmock's
// stand-in on a private bus. The stand-in records SetTime and changes nothing.
#include "platform/timedate1.h"
#include "support/timedated_mock.h"

#include <gtest/gtest.h>

#include <optional>

namespace platform {
namespace {

using testing_support::TimedatedMock;

TEST(Timedate1Errors, AreSortedIntoWhatTheUserIsTold)
{
    const struct {
        const char* name;
        ClockShiftOutcome outcome;
    } cases[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", ClockShiftOutcome::NotAuthorised},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", ClockShiftOutcome::NotAuthorised},
        {"org.freedesktop.timedate1.AutomaticTimeSyncEnabled", ClockShiftOutcome::AutomaticSyncOn},
        {"org.freedesktop.DBus.Error.ServiceUnknown", ClockShiftOutcome::NoService},
        {"org.freedesktop.DBus.Error.UnknownMethod", ClockShiftOutcome::NoService},
        // No answer, or a lost bus: the step may still be made, so no other way may try.
        {"org.freedesktop.DBus.Error.NoReply", ClockShiftOutcome::Failed},
        {"org.freedesktop.DBus.Error.Disconnected", ClockShiftOutcome::Failed},
        {"", ClockShiftOutcome::Failed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OutcomeOfSetTimeError(c.name), c.outcome) << c.name;
}

class Timedate1Client_ : public ::testing::Test {
protected:
    // Asks for a step and waits (bounded) for the answer, which must come later.
    std::optional<ClockShiftResult> shift(std::int64_t microseconds)
    {
        std::optional<ClockShiftResult> answer;
        client.ShiftClock(microseconds, [&answer](const ClockShiftResult& result) { answer = result; });
        EXPECT_FALSE(answer) << "answered inside the call";
        testing_support::pumpUntil([&answer] { return answer.has_value(); }, 30000);
        return answer;
    }
    TimedatedMock mock;
    Timedate1Client client;
};

TEST_F(Timedate1Client_, AsksForARelativeInteractiveStepWhenNoTimeServiceRuns)
{
    const QString why = mock.start(false);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    const auto answer = shift(7000000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->outcome, ClockShiftOutcome::Shifted) << answer->detail;
    EXPECT_EQ(mock.setTimeCalls(), std::vector<std::string>{"7000000 True True"});
    // Backwards too; nothing for a step of nothing (no password asked in vain).
    EXPECT_EQ(shift(-2000000)->outcome, ClockShiftOutcome::Shifted);
    EXPECT_EQ(shift(0)->outcome, ClockShiftOutcome::Shifted);
    // A measured offset under a second travels to the microsecond.
    EXPECT_EQ(shift(-12345)->outcome, ClockShiftOutcome::Shifted);
    EXPECT_EQ(mock.setTimeCalls(),
              (std::vector<std::string>{"7000000 True True", "-2000000 True True", "-12345 True True"}));
}

TEST_F(Timedate1Client_, LeavesAClockKeptByATimeServiceAlone)
{
    const QString why = mock.start(true);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    const auto answer = shift(7000000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->outcome, ClockShiftOutcome::KeptByTimeService);
    EXPECT_TRUE(mock.setTimeCalls().empty());
}

TEST_F(Timedate1Client_, ReportsRefusals)
{
    const QString why = mock.start(false);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    const struct {
        const char* error;
        ClockShiftOutcome outcome;
    } cases[] = {
        {"org.freedesktop.DBus.Error.AccessDenied", ClockShiftOutcome::NotAuthorised},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", ClockShiftOutcome::NotAuthorised},
        {"org.freedesktop.timedate1.AutomaticTimeSyncEnabled", ClockShiftOutcome::AutomaticSyncOn},
        {"org.freedesktop.DBus.Error.Failed", ClockShiftOutcome::Failed},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(mock.failSetTimeWith(QString::fromLatin1(c.error)));
        const auto answer = shift(7000000);
        ASSERT_TRUE(answer) << c.error;
        EXPECT_EQ(answer->outcome, c.outcome) << c.error;
        EXPECT_NE(answer->detail.find(c.error), std::string::npos) << answer->detail;
    }
}

TEST_F(Timedate1Client_, WithoutTheServiceOnTheBusSaysSo)
{
    const QString why = mock.start(false);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    mock.stop();
    const auto answer = shift(7000000);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->outcome, ClockShiftOutcome::NoService) << answer->detail;
}

TEST_F(Timedate1Client_, AnAnswerAfterTheClientIsGoneIsDropped)
{
    const QString why = mock.start(false);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    int answers = 0;
    {
        Timedate1Client shortLived;
        shortLived.ShiftClock(7000000, [&answers](const ClockShiftResult&) { ++answers; });
    }
    testing_support::pumpFor(500);
    EXPECT_EQ(answers, 0);
}

} // namespace
} // namespace platform
