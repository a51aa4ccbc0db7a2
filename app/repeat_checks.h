#pragma once
// Checks that repeat by themselves every N hours: looks at the schedule,
// starts a check as Connect does when one is due, and looks again later.
// The clock, the waits and the window's state come in as hooks.

#include "app/repeat_schedule.h"
#include "check/scheduler.h"

#include <cstdint>
#include <functional>

namespace app {

struct RepeatHooks {
    std::function<std::int64_t()> nowUnixMs;
    std::function<bool()> checkRunning;
    std::function<bool()> serverHeldBack;   // kiss-o'-death holds the chosen server now
    std::function<void()> startCheck;       // as Connect
};

class RepeatChecks {
public:
    RepeatChecks(check::Scheduler& scheduler, RepeatHooks hooks);

    // 0: off. A change counts the interval from now.
    void setEveryHours(int hours);
    int everyHours() const { return state_.everyHours; }
    // Any check, asked or repeated: the next one is an interval after it.
    void checkStarted();
    // Down: no check until it is back; back: a check that fell due meanwhile runs.
    void setNetworkUp(bool up);

    const RepeatDecision& lastDecision() const { return decision_; }

private:
    void look();

    check::Scheduler& scheduler_;
    RepeatHooks hooks_;
    RepeatState state_;
    RepeatDecision decision_;
};

} // namespace app
