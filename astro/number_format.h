#pragma once
// The text conventions for numbers and moments: a point as decimal
// separator, halves rounded to even, UTC moments to the nearest second.

#include "astro/calendar.h"

#include <cstdint>
#include <string>

namespace astro {

// The locale's separators, which ":" and "/" stand for in the patterns.
struct TextSeparators {
    std::string time = ":";
    std::string date = "/";
};

// Str(x, w, p): fixed point with p decimals, padded on the left with spaces
// to at least w characters.
std::string Str(long double x, int width, int decimals);

// Round (halves to even) written as a plain integer.
std::string RoundText(long double x);

// Proleptic Gregorian calendar date of a whole day count since 1899-12-30.
struct CivilDate {
    int year, month, day;
};
CivilDate CivilFromDayCount(std::int64_t days);

// FormatDateTime("hh:nn:ss", m) + " UTC  " + FormatDateTime("m/d/yy", m), the
// moment rounded to the nearest second first (23:59:59.6 becomes 00:00:00 of
// the next day).
std::string FormatUtc(DateTimeValue moment, const TextSeparators& separators = {});

// A duration in days as "<whole days> days + hh:nn:ss": rounded to the
// millisecond, then the seconds are cut (whole elapsed seconds).
std::string FormatAge(long double days);

} // namespace astro
