// Repeated checks: when they fall due, and that they never overlap, never
// come within an hour of another check, wait for the network and for a
// server's kiss-o'-death hold.
#include "app/repeat_checks.h"
#include "app/repeat_schedule.h"
#include "fakes/fake_scheduler.h"

#include <gtest/gtest.h>

namespace {

using app::RepeatDecision;
using app::RepeatState;

constexpr std::int64_t kHour = 3'600'000;
constexpr std::int64_t kT0 = 1'796'601'600'000;   // any moment

TEST(RepeatSetting, OneToTwentyFourHoursElseOff)
{
    const struct {
        const char* text;
        int hours;
    } cases[] = {{"1", 1}, {"24", 24}, {"6", 6}, {"0", 0}, {"25", 0}, {"-3", 0}, {"", 0}, {"six", 0}, {"$C", 12}};
    for (const auto& c : cases)
        EXPECT_EQ(app::RepeatHoursFromText(c.text), c.hours) << c.text;
}

struct DecideCase {
    const char* name;
    RepeatState state;
    std::int64_t now;
    RepeatDecision::Kind kind;
    std::int64_t due;   // 0: not checked
};

TEST(RepeatSchedule, DueAnIntervalAfterTheLastCheck)
{
    const DecideCase cases[] = {
        {"off", {0, kT0, kT0, false, true, {}}, kT0 + 30 * kHour, RepeatDecision::Off, 0},
        {"out of range is off", {30, kT0, kT0, false, true, {}}, kT0 + 40 * kHour, RepeatDecision::Off, 0},
        {"not yet", {3, kT0, kT0, false, true, {}}, kT0 + 2 * kHour, RepeatDecision::Wait, kT0 + 3 * kHour},
        {"due", {3, kT0, kT0, false, true, {}}, kT0 + 3 * kHour, RepeatDecision::RunNow, kT0 + 3 * kHour},
        {"no check yet: from turning on", {2, {}, kT0, false, true, {}}, kT0 + kHour, RepeatDecision::Wait,
         kT0 + 2 * kHour},
        {"turned on after the last check", {2, kT0, kT0 + 5 * kHour, false, true, {}}, kT0 + 6 * kHour,
         RepeatDecision::Wait, kT0 + 7 * kHour},
        {"a check asked for meanwhile moves it", {1, kT0 + 90 * 60'000, kT0, false, true, {}}, kT0 + 2 * kHour,
         RepeatDecision::Wait, kT0 + 150 * 60'000},
        {"a check running: later", {1, kT0, kT0, true, true, {}}, kT0 + 2 * kHour, RepeatDecision::Wait, kT0 + kHour},
        {"network down", {1, kT0, kT0, false, false, {}}, kT0 + 2 * kHour, RepeatDecision::WaitForNetwork, kT0 + kHour},
        {"kiss-o'-death holds", {1, kT0, kT0, false, true, kT0 + 3 * kHour}, kT0 + 2 * kHour, RepeatDecision::Wait,
         kT0 + 3 * kHour},
        {"clock set back a day", {1, kT0, kT0, false, true, {}}, kT0 - 24 * kHour, RepeatDecision::Wait,
         kT0 - 23 * kHour},
    };
    for (const DecideCase& c : cases) {
        const RepeatDecision decision = app::DecideRepeat(c.state, c.now);
        EXPECT_EQ(decision.kind, c.kind) << c.name;
        if (c.due) {
            EXPECT_EQ(decision.dueUnixMs, c.due) << c.name;
        }
        if (decision.kind == RepeatDecision::Wait) {
            EXPECT_GT(decision.waitMs, 0) << c.name;
            EXPECT_LE(decision.waitMs, app::kRepeatWakeMs) << c.name;
        }
    }
}

// The driver over a fake clock and scheduler: a day of hourly checks.
class RepeatDriver : public ::testing::Test {
protected:
    fakes::FakeScheduler scheduler;
    std::int64_t now = kT0;
    bool running = false;
    bool held = false;
    std::vector<std::int64_t> started;
    app::RepeatChecks repeat{scheduler,
                             {[this] { return now; }, [this] { return running; }, [this] { return held; },
                              [this] { started.push_back(now); }}};

    // Lets the fake time run to `until`, firing each wait when it falls due.
    void runUntil(std::int64_t until)
    {
        for (int guard = 0; guard < 10'000 && now < until; ++guard) {
            if (scheduler.waits.empty())
                now = until;
            else
                now = std::min(until, now + scheduler.waits.back());
            scheduler.waits.clear();
            scheduler.runPending();
        }
    }
};

TEST_F(RepeatDriver, ChecksEveryIntervalAndNeverTwiceWithinAnHour)
{
    repeat.setEveryHours(2);
    runUntil(kT0 + 24 * kHour + 1);
    ASSERT_EQ(started.size(), 12u);
    for (std::size_t i = 1; i < started.size(); ++i)
        EXPECT_EQ(started[i] - started[i - 1], 2 * kHour);
}

TEST_F(RepeatDriver, ARunningCheckPostponesAndTheNetworkComesFirst)
{
    repeat.setEveryHours(1);
    running = true;
    runUntil(kT0 + kHour + 30 * 60'000);
    EXPECT_TRUE(started.empty()) << "never two checks at once";
    running = false;
    repeat.setNetworkUp(false);
    runUntil(kT0 + 5 * kHour);
    EXPECT_TRUE(started.empty()) << "no check while the network is down";
    EXPECT_EQ(repeat.lastDecision().kind, RepeatDecision::WaitForNetwork);
    repeat.setNetworkUp(true);
    ASSERT_EQ(started.size(), 1u) << "the overdue check when the network is back";
    EXPECT_EQ(started[0], kT0 + 5 * kHour);
}

TEST_F(RepeatDriver, HeldServerWaitsAndTurningOffStops)
{
    repeat.setEveryHours(1);
    held = true;
    runUntil(kT0 + 3 * kHour);
    EXPECT_TRUE(started.empty());
    held = false;
    runUntil(kT0 + 3 * kHour + app::kRepeatWakeMs);
    EXPECT_EQ(started.size(), 1u);
    repeat.setEveryHours(0);
    runUntil(kT0 + 30 * kHour);
    EXPECT_EQ(started.size(), 1u);
    EXPECT_EQ(repeat.lastDecision().kind, RepeatDecision::Off);
}

} // namespace
