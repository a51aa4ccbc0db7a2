#pragma once
// The plot's arithmetic apart from any painting: value ranges, round tick
// steps, the units of the offset axis, the time axis's ticks in local time,
// where the checks leave gaps, and the mapping onto the drawing area.

#include "history/check_record.h"
#include "history/drift.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plot {

struct Range {
    double low = 0;
    double high = 0;
    double span() const { return high - low; }
};

// Round ticks (1, 2 or 5 times a power of ten) covering `range` with at most
// `maxTicks`; the range widened outwards to whole steps.
struct Ticks {
    double step = 0;
    std::vector<double> values;
    Range covered;
};
Ticks NiceTicks(Range range, int maxTicks);

// The offset axis's unit for values up to `largestSeconds` in size.
struct OffsetUnit {
    double perSecond = 1;   // multiply seconds by this
    std::string suffix;     // "µs", "ms" or "s"
};
OffsetUnit OffsetUnitFor(double largestSeconds);
// "+1.5 ms", "−20 µs", "0 s": a tick or a caption's offset with its unit.
std::string FormatOffset(double seconds, const OffsetUnit& unit, int decimals);
// Enough decimals to tell ticks `stepSeconds` apart in `unit`.
int DecimalsFor(double stepSeconds, const OffsetUnit& unit);

// Time ticks at round local moments (minutes, hours or days as the span
// needs), each with its label; a label carries the date where it changes.
struct TimeTick {
    std::int64_t unixMs = 0;
    std::string label;
};
std::vector<TimeTick> TimeTicks(std::int64_t firstUnixMs, std::int64_t lastUnixMs, int maxTicks);

// The offsets to show: every completed check's offset with its error bound
// and the drift line over its span, padded a little; never narrower than a
// microsecond, never empty.
Range OffsetRange(const std::vector<history::CheckRecord>& records,
                  const std::optional<history::DriftEstimate>& drift);
// The times to show: every record's, padded; an empty history is the hour before `nowUnixMs`.
Range TimeRange(const std::vector<history::CheckRecord>& records, std::int64_t nowUnixMs);

// Intervals without checks, long against the usual spacing: more than four
// times the median interval and more than two hours. `sortedUnixMs` ascending.
struct Gap {
    std::int64_t fromUnixMs = 0;
    std::int64_t toUnixMs = 0;
};
std::vector<Gap> FindGaps(const std::vector<std::int64_t>& sortedUnixMs);

// Data to drawing area: x grows with time, y grows upwards with the offset.
struct Mapping {
    double left = 0, top = 0, width = 1, height = 1;   // the area, logical pixels
    Range time;     // Unix ms
    Range offset;   // seconds
    double x(double unixMs) const { return left + (unixMs - time.low) / time.span() * width; }
    double y(double seconds) const { return top + height - (seconds - offset.low) / offset.span() * height; }
};

// "Drift: +12.3 ± 0.4 ppm", or "Drift: not enough checks yet".
std::string DriftCaption(const std::optional<history::DriftEstimate>& drift);

} // namespace plot
