#include "check/server_time_floor.h"

#include <cstdio>

#ifndef TIKORA_BUILD_UNIX_SECONDS
#error "TIKORA_BUILD_UNIX_SECONDS comes from CMakeLists.txt"
#endif

namespace check {
namespace {

constexpr std::int64_t kSecondsPerDay = 86'400;

struct CivilTime {
    std::int64_t year;
    int month;   // 1..12
    int day;     // 1..31
    int hour, minute, second;
};

std::int64_t floorDiv(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

// Days since 1970-01-01 to a Gregorian date, counted in 400-year eras that
// start on March 1st so the leap day is the last day of a year.
CivilTime civilOf(std::int64_t unixSeconds)
{
    const std::int64_t days = floorDiv(unixSeconds, kSecondsPerDay);
    const std::int64_t secondOfDay = unixSeconds - days * kSecondsPerDay;
    const std::int64_t shifted = days + 719'468;   // days from 0000-03-01 to 1970-01-01
    const std::int64_t era = floorDiv(shifted, 146'097);
    const std::int64_t dayOfEra = shifted - era * 146'097;                                           // 0..146096
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;   // 0..399
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);   // 0..365
    const std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;                                   // 0..11
    CivilTime civil{};
    civil.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    civil.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    civil.year = yearOfEra + era * 400 + (civil.month <= 2 ? 1 : 0);
    civil.hour = static_cast<int>(secondOfDay / 3600);
    civil.minute = static_cast<int>(secondOfDay / 60 % 60);
    civil.second = static_cast<int>(secondOfDay % 60);
    return civil;
}

} // namespace

std::int64_t BuildUnixSeconds()
{
    return TIKORA_BUILD_UNIX_SECONDS;
}

std::string UtcDateText(std::int64_t unixSeconds)
{
    const CivilTime civil = civilOf(unixSeconds);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02d", static_cast<long long>(civil.year), civil.month, civil.day);
    return text;
}

std::string UtcDateTimeText(std::int64_t unixSeconds)
{
    const CivilTime civil = civilOf(unixSeconds);
    char text[16];
    std::snprintf(text, sizeof text, " %02d:%02d:%02d", civil.hour, civil.minute, civil.second);
    return UtcDateText(unixSeconds) + text;
}

std::optional<std::string> RefusalOfServerTime(std::int64_t serverUnixSeconds, std::int64_t buildUnixSeconds)
{
    if (serverUnixSeconds >= buildUnixSeconds)
        return std::nullopt;
    return "the server's time " + UtcDateTimeText(serverUnixSeconds) + " UTC is before this program was built (" +
           UtcDateText(buildUnixSeconds) + "): refused";
}

} // namespace check
