#pragma once
// What `tikora-cli check` prints for several sources once all have ended
// (each one's line as it ends is check::SourceEndLine): each source's verdict and the majority's result (or that the
// servers disagree), as text or as one JSON object. Pure text.

#include "check/multi_source_check.h"

#include <functional>
#include <string>
#include <vector>

namespace cli {

// "1 127.0.0.2: selected" for each source, then the result as with one server
// and its error bound, or "The servers disagree" / "No server answered".
std::vector<std::string> MultiResultLines(const check::MultiSourceResult& result, bool ntp,
                                          const std::function<std::string(int secondsOfDay)>& formatTime);

// The one-server JSON object with "error_bound", "agreeing" and "sources"
// added; without a majority {"protocol":...,"error":...,"sources":[...]}.
// An authenticated source's object says so.
std::string MultiResultJson(const check::MultiSourceResult& result, bool ntp, bool udp, bool nts = false);

} // namespace cli
