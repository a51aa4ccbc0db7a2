#pragma once
// Records as text for people and other programs: UTC times in ISO 8601 and
// the CSV form (the terminal's --csv and the window's export alike). Pure.

#include "history/check_record.h"

#include <cstdint>
#include <string>
#include <vector>

namespace history {

// "2026-12-09T15:04:05.678Z".
std::string UtcIsoText(std::int64_t unixMs);

// "completed" or "failed".
const char* OutcomeName(const CheckRecord& record);

// One header line, then one line per record; fields quoted where they must be
// (RFC 4180, lines end in LF), numbers in seconds, empty where there is none.
std::string CsvOf(const std::vector<CheckRecord>& records);

} // namespace history
