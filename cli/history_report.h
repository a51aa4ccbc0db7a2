#pragma once
// What `tikora-cli history` prints: the records and the drift as a table for
// people, or as one JSON object. Pure text.

#include "history/check_record.h"
#include "history/drift.h"

#include <optional>
#include <string>
#include <vector>

namespace cli {

// {"records":[{"time":...,"server":...,...}],"drift_ppm":...,"drift_uncertainty_ppm":...,...};
// the drift's fields are null when there are not enough checks.
std::string HistoryJson(const std::vector<history::CheckRecord>& records,
                        const std::optional<history::DriftEstimate>& drift);

// One line per record, then the drift (or "not enough checks yet").
std::string HistoryTable(const std::vector<history::CheckRecord>& records,
                         const std::optional<history::DriftEstimate>& drift);

} // namespace cli
