#pragma once
// Where `tikora-cli check` keeps its record: the user's history file, opened
// when the check has ended. A history that cannot be used costs one line on
// stderr; the check's own result and exit status stay as they were.

#include "history/check_record.h"

#include <functional>
#include <ostream>
#include <string>

namespace cli {

// The record callback for TimeCheckIo: each record goes into the history at
// `path` (the default one when empty).
std::function<void(const history::CheckRecord&)> RecordInHistory(std::ostream& err, std::string path = {});

} // namespace cli
