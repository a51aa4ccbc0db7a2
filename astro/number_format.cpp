#include "astro/number_format.h"

#include "astro/angles.h"

#include <cmath>
#include <cstdio>

namespace astro {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kMillisecondsPerDay = 86400000;

std::string TwoDigits(std::int64_t n)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%02lld", static_cast<long long>(n));
    return buffer;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

std::string Str(long double x, int width, int decimals)
{
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%*.*Lf", width, decimals, x);
    return buffer;
}

std::string RoundText(long double x)
{
    return std::to_string(static_cast<long long>(RoundHalfEven(x)));
}

CivilDate CivilFromDayCount(std::int64_t days)
{
    // Days since 1970-01-01, then H. Hinnant's civil_from_days.
    const std::int64_t z = days - 25569 + 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
    return {year, month, day};
}

std::string FormatUtc(DateTimeValue moment, const TextSeparators& separators)
{
    const auto seconds = static_cast<std::int64_t>(RoundHalfEven(static_cast<long double>(moment) * kSecondsPerDay));
    const std::int64_t dayCount = FloorDiv(seconds, kSecondsPerDay);
    const std::int64_t secondOfDay = seconds - dayCount * kSecondsPerDay;
    const CivilDate date = CivilFromDayCount(dayCount);
    const int yy = ((date.year % 100) + 100) % 100;
    return TwoDigits(secondOfDay / 3600) + separators.time + TwoDigits(secondOfDay / 60 % 60) + separators.time
         + TwoDigits(secondOfDay % 60) + " UTC  " + std::to_string(date.month) + separators.date
         + std::to_string(date.day) + separators.date + TwoDigits(yy);
}

std::string FormatAge(long double days)
{
    // The whole days and the time of day come from the same millisecond count,
    // so 3.9999999999 days reads "4 days + 00:00:00", not "3 days + 00:00:00".
    const auto ms = static_cast<std::int64_t>(RoundHalfEven(days * kMillisecondsPerDay));
    const std::int64_t wholeDays = ms / kMillisecondsPerDay;
    const std::int64_t second = ms % kMillisecondsPerDay / 1000;
    return std::to_string(wholeDays) + " days + " + TwoDigits(second / 3600) + ":" + TwoDigits(second / 60 % 60)
         + ":" + TwoDigits(second % 60);
}

} // namespace astro
