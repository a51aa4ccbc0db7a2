#pragma once
// One answered check turned into what both front ends present: the server's
// time in the PC's zone, the offset and its error bound, the correction's
// caption and tray tip, and the step of the clock that is due. Pure.

#include "check/check_protocol.h"
#include "platform/clock_step.h"

#include <cstdint>
#include <optional>
#include <string>

namespace check {

// The PC's clock when the answer is presented.
struct LocalReading {
    std::int64_t utcNowNs = 0;    // the real-time clock, nanoseconds since 1970 UTC
    int utcOffsetSeconds = 0;     // local = UTC + offset, daylight time included
};

struct Answer {
    std::int64_t serverLocalNs = 0;   // the server's time as the PC's zone reads it
    std::int64_t localNowNs = 0;      // the PC's time, the same way
    int serverSecondsOfDay = 0;       // of serverLocalNs, whole seconds
    std::int64_t offsetNs = 0;        // server minus PC; positive when the PC is behind
    std::int64_t errorBoundNs = 0;    // the true offset lies within offset ± this
    std::string caption;              // "+ 5.00 s", "- 0.012 s" or "Clocks Match!"
    std::string trayTip;              // "Clock adjusted + 5.00 s" or "Clock is synchronized!"
    // The step that is due when the user allows one; none when the offset is noise.
    std::optional<platform::ClockStep> step;
};

// The Time protocol compares times of day only, in whole seconds, the shorter
// way round midnight, and always sets the clock when allowed; NTP steps by the
// measured offset unless it lies within half the round trip.
Answer AnswerOf(const CheckResult& result, const LocalReading& local);

} // namespace check
