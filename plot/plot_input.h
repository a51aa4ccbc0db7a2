#pragma once
// What the picture of the history shows: plain data, no painting, so a
// program that only hands it on needs none of the painting libraries.

#include "history/check_record.h"
#include "history/drift.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace plot {

struct PlotInput {
    std::vector<history::CheckRecord> records;   // any order
    std::optional<history::DriftEstimate> drift;
    std::int64_t nowUnixMs = 0;                  // the axis of an empty history ends here
};

} // namespace plot
