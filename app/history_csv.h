#pragma once
// The history as CSV for a spreadsheet: one header line, one line per check,
// times in UTC (ISO 8601), seconds as plain numbers. Pure.

#include "history/check_record.h"

#include <string>
#include <string_view>
#include <vector>

namespace app {

// A field quoted when it holds a comma, a quote or a line break (quotes doubled).
std::string CsvField(std::string_view text);
std::string HistoryCsv(const std::vector<history::CheckRecord>& records);

// Writes HistoryCsv to `path` whole or not at all: empty on success, else why not.
std::string WriteHistoryCsv(const std::string& path, const std::vector<history::CheckRecord>& records);

} // namespace app
