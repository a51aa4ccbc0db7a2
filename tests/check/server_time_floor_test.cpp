#include "check/server_time_floor.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t kBuild = 1796774400 + 13 * 3600;   // 2026-12-09 13:00:00 UTC

TEST(ServerTimeFloor, ATimeBeforeTheBuildIsRefusedWithItsDate)
{
    struct Case {
        std::int64_t server;
        const char* refusal;   // nullptr: accepted
    } const cases[] = {
        {0, "the server's time 1970-01-01 00:00:00 UTC is before this program was built (2026-12-09): refused"},
        {-2208988800, "the server's time 1900-01-01 00:00:00 UTC is before this program was built (2026-12-09): refused"},
        {kBuild - 1, "the server's time 2026-12-09 12:59:59 UTC is before this program was built (2026-12-09): refused"},
        {kBuild, nullptr},
        // A PC whose clock says 2001 is still set from a server that says today.
        {kBuild + 86'400, nullptr},
        {2085978496, nullptr},   // past the NTP era wrap of 2036
    };
    for (const Case& c : cases) {
        const auto refusal = check::RefusalOfServerTime(c.server, kBuild);
        EXPECT_EQ(refusal.has_value(), c.refusal != nullptr) << c.server;
        if (refusal && c.refusal) {
            EXPECT_EQ(*refusal, c.refusal);
        }
    }
}

TEST(ServerTimeFloor, DatesAreGregorianAcrossLeapDaysAndCenturies)
{
    struct Case {
        std::int64_t unixSeconds;
        const char* text;
    } const cases[] = {
        {-1, "1969-12-31 23:59:59"},
        {951782400, "2000-02-29 00:00:00"},    // 2000 is a leap year
        {4107542400, "2100-03-01 00:00:00"},   // 2100 is not: no 29th of February
        {2085978496, "2036-02-07 06:28:16"},
        {-62135596800, "0001-01-01 00:00:00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(check::UtcDateTimeText(c.unixSeconds), c.text);
}

} // namespace
