#include "app/repeat_checks.h"

namespace app {

RepeatChecks::RepeatChecks(check::Scheduler& scheduler, RepeatHooks hooks)
    : scheduler_(scheduler), hooks_(std::move(hooks))
{
}

void RepeatChecks::setEveryHours(int hours)
{
    if (hours == state_.everyHours)
        return;
    state_.everyHours = hours;
    state_.enabledSinceUnixMs = hooks_.nowUnixMs();
    look();
}

void RepeatChecks::checkStarted()
{
    state_.lastCheckStartUnixMs = hooks_.nowUnixMs();
    look();
}

void RepeatChecks::setNetworkUp(bool up)
{
    if (up == state_.networkUp)
        return;
    state_.networkUp = up;
    look();
}

void RepeatChecks::look()
{
    scheduler_.cancelAll();
    const std::int64_t now = hooks_.nowUnixMs();
    state_.checkRunning = hooks_.checkRunning();
    state_.heldUntilUnixMs.reset();
    // The hold's end is not known here, only that it still holds: look again later.
    if (state_.everyHours > 0 && hooks_.serverHeldBack && hooks_.serverHeldBack())
        state_.heldUntilUnixMs = now + kRepeatWakeMs;
    decision_ = DecideRepeat(state_, now);
    switch (decision_.kind) {
    case RepeatDecision::Off:
    case RepeatDecision::WaitForNetwork:
        return;
    case RepeatDecision::Wait:
        scheduler_.after(int(decision_.waitMs), [this] { look(); });
        return;
    case RepeatDecision::RunNow:
        state_.lastCheckStartUnixMs = now;
        hooks_.startCheck();
        look();   // now an interval away: a wait, never a second check
        return;
    }
}

} // namespace app
