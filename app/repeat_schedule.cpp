#include "app/repeat_schedule.h"

#include "app/settings.h"

#include <algorithm>

namespace app {

int RepeatHoursFromText(const std::string& text)
{
    const std::optional<int> hours = ParseWholeNumber(text);
    return hours && *hours >= kRepeatHoursMin && *hours <= kRepeatHoursMax ? *hours : 0;
}

RepeatDecision DecideRepeat(const RepeatState& state, std::int64_t nowUnixMs)
{
    if (state.everyHours < kRepeatHoursMin || state.everyHours > kRepeatHoursMax)
        return {};
    const std::int64_t interval = std::max<std::int64_t>(state.everyHours * 3'600'000LL, kMinPollSpacingMs);
    // From the last check, asked or repeated, or from when repeating began.
    std::int64_t due = std::max(state.lastCheckStartUnixMs.value_or(state.enabledSinceUnixMs),
                                state.enabledSinceUnixMs) + interval;
    if (state.lastCheckStartUnixMs)
        due = std::max(due, *state.lastCheckStartUnixMs + kMinPollSpacingMs);
    // A clock set back below the last check must not stop the checks: the
    // interval then counts from now.
    if (state.lastCheckStartUnixMs && *state.lastCheckStartUnixMs > nowUnixMs + kMinPollSpacingMs)
        due = nowUnixMs + interval;
    if (state.heldUntilUnixMs)
        due = std::max(due, *state.heldUntilUnixMs);
    if (!state.networkUp)
        return {RepeatDecision::WaitForNetwork, 0, due};
    if (due > nowUnixMs)
        return {RepeatDecision::Wait, std::min(due - nowUnixMs, kRepeatWakeMs), due};
    // Never two at once: look again shortly; the end of the running check
    // counts as the last check anyway.
    if (state.checkRunning)
        return {RepeatDecision::Wait, 60'000, due};
    return {RepeatDecision::RunNow, 0, due};
}

} // namespace app
