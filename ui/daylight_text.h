#pragma once
// The daylight-saving rule in words: "Last Sunday in October".

#include <string>

namespace ui {

// The week phrase (occurrence 1-5, 5 = the last; others give none) and the
// month name (1-12). The text always says "Sunday", as the rule is shown.
std::string selmonth(int month, int week);

} // namespace ui
