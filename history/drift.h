#pragma once
// The PC clock's frequency error from the checks since its last step: a
// least-squares line through offset against time. Pure computation.

#include "history/check_record.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace history {

struct DriftEstimate {
    double ppm = 0;                 // positive: the PC clock runs slow (offsets grow)
    double uncertaintyPpm = 0;      // one standard error of the slope
    std::int64_t referenceUnixMs = 0;      // the line passes through offsetAtReference here
    double offsetAtReferenceSeconds = 0;
    std::int64_t firstUnixMs = 0;   // the span of the checks the line was fitted to
    std::int64_t lastUnixMs = 0;
    int checks = 0;                 // how many were used
    double predictedOffsetNowSeconds = 0;
    // offset(t) = offsetAtReferenceSeconds + ppm·1e-6·(t − referenceUnixMs)/1000
    double offsetAt(std::int64_t unixMs) const
    {
        return offsetAtReferenceSeconds + ppm * 1e-6 * double(unixMs - referenceUnixMs) / 1000.0;
    }
};

// None: fewer than three completed checks since the last step ("not enough
// checks yet"). `records` in any order.
std::optional<DriftEstimate> EstimateDrift(const std::vector<CheckRecord>& records, std::int64_t nowUnixMs);

} // namespace history
