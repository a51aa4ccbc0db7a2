#include "ui/daylight_text.h"

namespace ui {

std::string selmonth(int month, int week)
{
    static const char* const kWeeks[] = {"1st Sunday in ", "2nd Sunday in ", "3rd Sunday in ", "4th Sunday in ",
                                         "Last Sunday in "};
    static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    std::string text;
    if (week >= 1 && week <= 5)
        text = kWeeks[week - 1];
    if (month >= 1 && month <= 12)
        text += kMonths[month - 1];
    return text;
}

} // namespace ui
