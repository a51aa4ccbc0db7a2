#pragma once
// Calendar and julian-day conversions.
//
// A date-time value is a double counting days since 30 December 1899 00:00
// (proleptic Gregorian), the fraction being the time of day. A julian day is
// an extended real counting days from the julian epoch, whole at noon.
// Nothing here looks at time zones: the caller decides what the value holds.

namespace astro {

using DateTimeValue = double;
using JulianDay = long double;

inline constexpr DateTimeValue kDate2000 = 36526.0;        // 1 January 2000 00:00
inline constexpr DateTimeValue kDate14Oct1582 = -115859.0; // last day that converts to 0
inline constexpr DateTimeValue kDate15Oct1582 = -115858.0; // first Gregorian day
inline constexpr JulianDay kJulian2000 = 2451544.5L;       // julian day of kDate2000

// Date-time value to julian day; 0 at or before 14 October 1582 00:00.
JulianDay DateToJulian(DateTimeValue t);

// Julian day to date-time value; 0 before 2299160.5 (15 October 1582 00:00).
DateTimeValue JulianToDate(JulianDay j);

// Julian day number (noon) of a calendar date; Julian calendar for numbers
// up to 2299160 (4 October 1582 and before), Gregorian after.
double CalendarDayNumber(int year, int month, int day);

// Julian day number to proleptic Gregorian month, day, year (the integer
// algorithm of Fliegel and Van Flandern, carried out in reals with truncation).
void JtoD(double j, int& month, int& day, int& year);

} // namespace astro
