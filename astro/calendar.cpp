#include "astro/calendar.h"

#include <cmath>

namespace astro {

JulianDay DateToJulian(DateTimeValue t)
{
    if (kDate14Oct1582 >= t)
        return 0;
    return static_cast<JulianDay>(t) + (kJulian2000 - static_cast<JulianDay>(kDate2000));
}

DateTimeValue JulianToDate(JulianDay j)
{
    const JulianDay first = DateToJulian(kDate15Oct1582); // 2299160.5
    if (j < first)
        return 0;
    return static_cast<DateTimeValue>(static_cast<JulianDay>(kDate2000) + (j - kJulian2000));
}

double CalendarDayNumber(int year, int month, int day)
{
    // Int truncates toward zero and keeps a real; divisions are reciprocals.
    const double yy = year - std::trunc((12 - month) * 0.1); // year less one in Jan, Feb
    double mm = month + 9;                                     // March = 0 ... February = 11
    if (mm >= 12)
        mm -= 12;
    const double k1 = std::trunc((yy + 4712) * 365.25);
    const double k2 = std::trunc(mm * 30.6 + 0.5);
    const double k3 = std::trunc(std::trunc(yy * 0.01 + 49) * 0.75) - 38;
    double j = k1 + k2 + day + 59;
    if (j > 2299160) // Gregorian correction
        j -= k3;
    return j;
}

void JtoD(double j, int& month, int& day, int& year)
{
    // The design multiplies by rounded reciprocals (1/146097, 0.0125, ...); a
    // reciprocal rounded low turns an exact quotient into n - 1 after Int, and
    // 1 March 7900 came out as 29 February 7900. Dividing is exact here (whole
    // operands below 2^53, quotients never within an ulp of an integer unless
    // they are one), so these steps give the integer algorithm's results.
    double l = j + 68569;
    const double n = std::trunc(4 * l / 146097);
    l = l - std::trunc((146097 * n + 3) / 4);
    const double i = std::trunc((l + 1) * 4000 / 1461001);
    l = l - std::trunc(1461 * i / 4) + 31;
    const double k = std::trunc(80 * l / 2447);
    const double d = l - std::trunc(2447 * k / 80);
    l = std::trunc(k / 11);
    const double m = k + 2 - 12 * l;
    const double y = 100 * (n - 49) + i + l;
    month = static_cast<int>(m);
    day = static_cast<int>(d);
    year = static_cast<int>(y);
}

} // namespace astro
