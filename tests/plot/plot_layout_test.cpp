// The plot's arithmetic: round ticks, units, local-time ticks, gaps, ranges.
#include "plot/plot_layout.h"
#include "plot/sample_history.h"

#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <ctime>

#include <cmath>

namespace {

using plot::Range;

struct NiceCase {
    Range range;
    int maxTicks;
    double step;
    Range covered;
};

TEST(NiceTicks, RoundStepsCoverTheRange)
{
    const NiceCase cases[] = {
        {{0, 10}, 6, 2, {0, 10}},
        {{0.3, 9.7}, 11, 1, {0, 10}},
        {{-0.00023, 0.00081}, 8, 0.0002, {-0.0004, 0.001}},
        {{-3, 3}, 4, 5, {-5, 5}},
        {{1e-7, 9e-7}, 5, 5e-7, {0, 1e-6}},
        {{0, 0}, 5, 0.5, {-1, 1}},              // no span: one around the value
        {{100, 100}, 5, 50, {50, 150}},
    };
    for (const NiceCase& c : cases) {
        const plot::Ticks ticks = plot::NiceTicks(c.range, c.maxTicks);
        EXPECT_NEAR(ticks.step, c.step, c.step * 1e-9) << c.range.low << ".." << c.range.high;
        EXPECT_NEAR(ticks.covered.low, c.covered.low, c.step * 1e-9);
        EXPECT_NEAR(ticks.covered.high, c.covered.high, c.step * 1e-9);
        EXPECT_LE(int(ticks.values.size()), c.maxTicks);
        EXPECT_LE(ticks.covered.low, c.range.low);
        EXPECT_GE(ticks.covered.high, c.range.high);
        for (double value : ticks.values)
            EXPECT_FALSE(std::signbit(value) && value == 0) << "no negative zero";
    }
}

struct UnitCase {
    double seconds;
    int decimals;
    const char* text;
};

TEST(OffsetText, UnitFollowsTheLargestValue)
{
    const UnitCase cases[] = {
        {0.0000123, 1, "+12.3 µs"},
        {-0.0004, 0, "\u2212400 µs"},
        {0.0015, 1, "+1.5 ms"},
        {-0.25, 0, "\u2212250 ms"},
        {12.5, 1, "+12.5 s"},
        {-3600, 0, "\u22123600 s"},
        {0, 0, "0 µs"},
        {-0.0000001, 0, "0 µs"},   // rounds to zero: no sign
    };
    for (const UnitCase& c : cases)
        EXPECT_EQ(plot::FormatOffset(c.seconds, plot::OffsetUnitFor(c.seconds), c.decimals), c.text);
}

TEST(OffsetText, DecimalsTellTicksApart)
{
    const plot::OffsetUnit ms = plot::OffsetUnitFor(0.5);
    EXPECT_EQ(plot::DecimalsFor(0.1, ms), 0);
    EXPECT_EQ(plot::DecimalsFor(0.0005, ms), 1);
    EXPECT_EQ(plot::DecimalsFor(0.00002, ms), 2);
    EXPECT_EQ(plot::DecimalsFor(0, ms), 0);
}

struct TimeCase {
    const char* name;
    std::int64_t first;
    std::int64_t last;
    int maxTicks;
    std::int64_t step;                 // expected spacing
    std::vector<const char*> labels;   // the first labels
};

constexpr std::int64_t kMinute = 60'000;
constexpr std::int64_t kHour = 60 * kMinute;
constexpr std::int64_t kDay = 24 * kHour;
constexpr std::int64_t k7Dec = testing_support::kSampleStartMs;   // 2026-12-07 00:00 UTC

TEST(TimeTicks, MinutesHoursOrDaysAsTheSpanNeeds)
{
    // TZ=UTC in the suite's environment: local time is UTC.
    const TimeCase cases[] = {
        {"half a minute", k7Dec + 2500, k7Dec + 31'000, 8, 5000, {"00:00:05\n7 Dec", "00:00:10", "00:00:15"}},
        {"ten minutes", k7Dec + 3 * kMinute + 5000, k7Dec + 13 * kMinute, 6, 2 * kMinute,
         {"00:04\n7 Dec", "00:06", "00:08"}},
        {"six hours", k7Dec + 22 * kHour + 17 * kMinute, k7Dec + 28 * kHour + 17 * kMinute, 7, kHour,
         {"23:00\n7 Dec", "00:00\n8 Dec", "01:00"}},
        {"two days", k7Dec - 30 * kMinute, k7Dec + 2 * kDay, 5, 12 * kHour, {"00:00\n7 Dec", "12:00", "00:00\n8 Dec"}},
        {"a month", k7Dec + kHour, k7Dec + 30 * kDay, 6, 7 * kDay, {"8 Dec", "15 Dec", "22 Dec"}},
        {"two years", k7Dec, k7Dec + 730 * kDay, 4, 364 * kDay, {"Dec 2026", "Dec 2027"}},
    };
    for (const TimeCase& c : cases) {
        const std::vector<plot::TimeTick> ticks = plot::TimeTicks(c.first, c.last, c.maxTicks);
        ASSERT_GE(ticks.size(), c.labels.size()) << c.name;
        EXPECT_LE(int(ticks.size()), c.maxTicks) << c.name;
        for (std::size_t i = 0; i < c.labels.size(); ++i)
            EXPECT_EQ(ticks[i].label, c.labels[i]) << c.name << " tick " << i;
        for (std::size_t i = 1; i < ticks.size(); ++i)
            EXPECT_EQ(ticks[i].unixMs - ticks[i - 1].unixMs, c.step) << c.name;
        EXPECT_GE(ticks.front().unixMs, c.first) << c.name;
        EXPECT_LE(ticks.back().unixMs, c.last) << c.name;
    }
}

TEST(TimeTicks, RoundInLocalTimeNotUtc)
{
    // A zone of UTC+5:30: hour ticks fall on the local hour, half past in UTC.
    qputenv("TZ", QByteArrayLiteral("Asia/Kolkata"));
    tzset();
    const std::vector<plot::TimeTick> ticks = plot::TimeTicks(k7Dec, k7Dec + 4 * kHour, 6);
    qputenv("TZ", QByteArrayLiteral("UTC"));
    tzset();
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks.front().unixMs, k7Dec + 30 * kMinute);
    EXPECT_EQ(ticks.front().label, "06:00\n7 Dec");
}

struct GapCase {
    const char* name;
    std::vector<std::int64_t> moments;
    std::vector<std::pair<std::int64_t, std::int64_t>> gaps;
};

TEST(Gaps, LongAgainstTheUsualSpacing)
{
    const GapCase cases[] = {
        {"hourly, none missing", {0, kHour, 2 * kHour, 3 * kHour, 4 * kHour}, {}},
        {"hourly, a night missing", {0, kHour, 2 * kHour, 10 * kHour, 11 * kHour, 12 * kHour}, {{2 * kHour, 10 * kHour}}},
        {"seconds apart, a pause of five minutes", {0, 10'000, 20'000, 320'000, 330'000}, {}},
        {"seconds apart, a pause of an hour", {0, 10'000, 20'000, 30'000, 3'630'000}, {{30'000, 3'630'000}}},
        {"too few to tell", {0, 100 * kHour}, {}},
    };
    for (const GapCase& c : cases) {
        const std::vector<plot::Gap> gaps = plot::FindGaps(c.moments);
        ASSERT_EQ(gaps.size(), c.gaps.size()) << c.name;
        for (std::size_t i = 0; i < gaps.size(); ++i) {
            EXPECT_EQ(gaps[i].fromUnixMs, c.gaps[i].first) << c.name;
            EXPECT_EQ(gaps[i].toUnixMs, c.gaps[i].second) << c.name;
        }
    }
}

TEST(Ranges, OffsetsWithBoundsAndDriftFitWithZeroNearby)
{
    std::vector<history::CheckRecord> records = testing_support::SampleHistory();
    const plot::Range range = plot::OffsetRange(records, testing_support::SampleDrift());
    for (const history::CheckRecord& r : records)
        if (r.offsetSeconds) {
            EXPECT_LT(range.low, *r.offsetSeconds - *r.errorBoundSeconds);
            EXPECT_GT(range.high, *r.offsetSeconds + *r.errorBoundSeconds);
        }
    EXPECT_LE(range.low, 0.0) << "zero in view: the offsets are all near it";

    // Failures only, or nothing at all: a millisecond either side.
    records.assign(1, history::CheckRecord{});
    EXPECT_DOUBLE_EQ(plot::OffsetRange(records, std::nullopt).high, 1e-3);
    // One offset far from zero keeps its own scale.
    records[0].completed = true;
    records[0].offsetSeconds = 100.0;
    const plot::Range far = plot::OffsetRange(records, std::nullopt);
    EXPECT_GT(far.low, 99.0);
    EXPECT_LT(far.high, 101.0);
    EXPECT_GT(far.span(), 0.0);
}

TEST(Ranges, TimeSpansEveryRecordOrTheLastHour)
{
    const auto records = testing_support::SampleHistory();
    const plot::Range range = plot::TimeRange(records, 0);
    EXPECT_LT(range.low, double(records.front().timeUnixMs));
    EXPECT_GT(range.high, double(records.back().timeUnixMs));
    // Checks seconds apart are not lost in minutes of padding.
    std::vector<history::CheckRecord> quick(3);
    for (int i = 0; i < 3; ++i)
        quick[i].timeUnixMs = k7Dec + i * 1000;
    EXPECT_LT(plot::TimeRange(quick, 0).span(), 10'000.0);
    const plot::Range empty = plot::TimeRange({}, k7Dec);
    EXPECT_EQ(empty.high, double(k7Dec));
    EXPECT_EQ(empty.span(), double(kHour));
}

TEST(Caption, DriftOrNotEnoughChecks)
{
    history::DriftEstimate drift;
    const struct {
        double ppm, uncertainty;
        const char* text;
    } cases[] = {
        {12.34, 0.41, "Drift: +12.3 \u00b1 0.4 ppm"},
        {-3.456, 0.052, "Drift: \u22123.46 \u00b1 0.05 ppm"},
        {0.1234, 0.0012, "Drift: +0.123 \u00b1 0.001 ppm"},
    };
    for (const auto& c : cases) {
        drift.ppm = c.ppm;
        drift.uncertaintyPpm = c.uncertainty;
        EXPECT_EQ(plot::DriftCaption(drift), c.text);
    }
    EXPECT_EQ(plot::DriftCaption(std::nullopt), "Drift: not enough checks yet");
}

} // namespace
