#include "net/timestamp.h"

#include <gtest/gtest.h>

namespace {

TimestampBytes bytesOf(std::int64_t count)
{
    const auto value = static_cast<std::uint32_t>(count);
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

// The count for a UTC time of day on 2026-12-07.
TimestampBytes atUtc(int hour, int minute, int second)
{
    const std::int64_t midnight = 1796601600;   // 2026-12-07 00:00:00 UTC
    return bytesOf(midnight + kSecondsFrom1900To1970 + hour * 3600 + minute * 60 + second);
}

// The conversion as first written for whole and half-hour zones: minute and
// hour worked out separately with truncating division and a carry.
ServerTimeOfDay referenceConversion(std::int64_t t, int bias, bool daylight)
{
    ServerTimeOfDay r;
    r.svrSec = static_cast<int>(t % 60);
    r.svrMin = static_cast<int>(((t / 60) + (bias % 60)) % 60);
    r.svrHour = static_cast<int>(((t / 60) / 60 - (bias / 60)) % 24);
    const int m = (bias % 60) + r.svrMin;
    if (m < 0)
        r.svrHour += 1;
    if (m >= 60)
        r.svrHour -= 1;
    if (daylight)
        r.svrHour += 1;
    if (r.svrHour > 23)
        r.svrHour -= 24;
    if (r.svrHour < 0)
        r.svrHour += 24;
    return r;
}

void expectTime(const ServerTimeOfDay& t, int hour, int minute, int second)
{
    EXPECT_EQ(t.svrHour, hour);
    EXPECT_EQ(t.svrMin, minute);
    EXPECT_EQ(t.svrSec, second);
}

TEST(Timestamp, EpochAndTopBit)
{
    EXPECT_EQ(UnixSecondsFromTimestamp({0x83, 0xAA, 0x7E, 0x80}), 0);
    expectTime(ServerLocalTime({0x83, 0xAA, 0x7E, 0x80}, 0, 0), 0, 0, 0);
    // Only the top bit: 2^31 seconds after 1900, counted unsigned.
    EXPECT_EQ(UnixSecondsFromTimestamp({0x80, 0, 0, 0}), 2147483648LL - kSecondsFrom1900To1970);
}

TEST(Timestamp, CountsAfterThe2036WrapKeepTheTimeOfDay)
{
    // 2036-02-07 06:28:16 UTC is count 0 of the next era.
    EXPECT_EQ(UnixSecondsFromTimestamp({0, 0, 0, 0}), 2085978496);
    expectTime(ServerLocalTime({0, 0, 0, 0}, 0, 0), 6, 28, 16);
    expectTime(ServerLocalTime({0xFF, 0xFF, 0xFF, 0xFF}, 0, 0), 6, 28, 15);
    expectTime(ServerLocalTime({0, 0, 0, 10}, 0, 0), 6, 28, 26);
}

TEST(Timestamp, ZoneExamples)
{
    expectTime(ServerLocalTime(atUtc(12, 0, 0), 300, 0), 7, 0, 0);
    expectTime(ServerLocalTime(atUtc(12, 0, 0), 300, -60), 8, 0, 0);
    expectTime(ServerLocalTime(atUtc(10, 40, 0), -330, 0), 16, 10, 0);
    expectTime(ServerLocalTime(atUtc(10, 20, 0), -330, 0), 15, 50, 0);
    expectTime(ServerLocalTime(atUtc(10, 0, 0), 210, 0), 6, 30, 0);
}

TEST(Timestamp, DaylightShiftsByTheZonesOwnDaylightBias)
{
    struct Case {
        const char* zone;
        int bias, daylightBias, hour, minute;
    };
    // 12:00 UTC in daylight time.
    const Case cases[] = {
        {"Australia/Lord_Howe", -630, -30, 23, 0},   // 10:30 + 0:30
        {"Antarctica/Troll", 0, -120, 14, 0},         // 0:00 + 2:00
        {"America/New_York", 300, -60, 8, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zone);
        expectTime(ServerLocalTime(atUtc(12, 0, 0), c.bias, c.daylightBias), c.hour, c.minute, 0);
    }
}

TEST(Timestamp, QuarterHourZonesGetTheirOwnMinute)
{
    // Nepal, UTC+5:45, and Chatham Islands, UTC+12:45.
    expectTime(ServerLocalTime(atUtc(10, 0, 0), -345, 0), 15, 45, 0);
    expectTime(ServerLocalTime(atUtc(23, 30, 7), -765, 0), 12, 15, 7);
    // Marquesas-like -9:30 and a made-up -3:15.
    expectTime(ServerLocalTime(atUtc(1, 0, 0), 570, 0), 15, 30, 0);
    expectTime(ServerLocalTime(atUtc(2, 10, 0), 195, 0), 22, 55, 0);
}

TEST(Timestamp, AgreesWithTheCarryRulesForWholeAndHalfHourZones)
{
    const std::int64_t base = 1796601600;
    for (int bias = -840; bias <= 720; bias += 30) {
        for (int daylight = 0; daylight < 2; ++daylight) {
            for (std::int64_t t = base; t < base + 86400; t += 547) {
                const ServerTimeOfDay expected = referenceConversion(t, bias, daylight);
                const ServerTimeOfDay actual = ServerLocalTime(bytesOf(t + kSecondsFrom1900To1970), bias, daylight ? -60 : 0);
                ASSERT_EQ(actual.secondsOfDay(), expected.secondsOfDay())
                    << "bias " << bias << " daylight " << daylight << " t " << t;
            }
        }
    }
}

TEST(Correction, SignsAndMatch)
{
    const int noon = 12 * 3600;
    Correction behind = CorrectionBetween(noon + 5, noon);
    EXPECT_EQ(behind.caption, "+ 5.00 s");
    EXPECT_EQ(behind.trayTip, "Clock adjusted + 5.00 s");
    EXPECT_EQ(behind.shift(), 5);
    Correction ahead = CorrectionBetween(noon, noon + 5);
    EXPECT_EQ(ahead.caption, "- 5.00 s");
    EXPECT_EQ(ahead.shift(), -5);
    Correction equal = CorrectionBetween(noon, noon);
    EXPECT_EQ(equal.caption, "Clocks Match!");
    EXPECT_EQ(equal.trayTip, "Clock is synchronized!");
    EXPECT_EQ(equal.shift(), 0);
}

TEST(Correction, TakesTheShortWayRoundMidnight)
{
    const int justBefore = 23 * 3600 + 59 * 60 + 59;
    EXPECT_EQ(CorrectionBetween(1, justBefore).caption, "+ 2.00 s");
    EXPECT_EQ(CorrectionBetween(justBefore, 1).caption, "- 2.00 s");
    EXPECT_EQ(CorrectionBetween(12 * 3600, 0).seconds, 43200);
    EXPECT_EQ(CorrectionBetween(12 * 3600 + 1, 0).caption, "- 43199.00 s");
}

} // namespace
