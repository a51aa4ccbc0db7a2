#include "history/drift.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace history {
namespace {

constexpr std::int64_t kStart = 1'765'000'000'000;   // an arbitrary UTC moment, ms

CheckRecord check(double secondsIn, double offset, std::optional<double> bound = std::nullopt)
{
    CheckRecord record;
    record.timeUnixMs = kStart + std::int64_t(secondsIn * 1000);
    record.completed = true;
    record.offsetSeconds = offset;
    record.errorBoundSeconds = bound;
    return record;
}

CheckRecord failed(double secondsIn)
{
    CheckRecord record;
    record.timeUnixMs = kStart + std::int64_t(secondsIn * 1000);
    record.failureReason = "timed out";
    return record;
}

CheckRecord stepped(double secondsIn, double offset)
{
    CheckRecord record = check(secondsIn, offset);
    record.clockAction = ClockAction::Stepped;
    record.stepSeconds = offset;
    return record;
}

struct DriftCase {
    std::string name;
    std::vector<CheckRecord> records;
    std::optional<double> ppm;   // none: not enough checks
    double tolerancePpm;
    int checks;
};

TEST(Drift, Table)
{
    // 1 ppm = 1 µs a second = 3.6 ms an hour.
    const std::vector<DriftCase> cases = {
        {"exact line, 10 ppm fast offsets", {check(0, 0.5), check(3600, 0.536), check(7200, 0.572)}, 10, 1e-6, 3},
        {"exact line, -25 ppm, any order", {check(7200, -0.18), check(0, 0.0), check(3600, -0.09)}, -25, 1e-6, 3},
        {"flat", {check(0, 0.1), check(60, 0.1), check(120, 0.1), check(180, 0.1)}, 0, 1e-9, 4},
        {"two checks are not enough", {check(0, 0), check(60, 1e-3)}, std::nullopt, 0, 0},
        {"failures do not count", {check(0, 0), failed(30), check(60, 1e-3), failed(90)}, std::nullopt, 0, 0},
        {"failures between are ignored", {check(0, 0), failed(30), check(3600, 0.0036), failed(5000), check(7200, 0.0072)},
         1, 1e-6, 3},
        // Before the step the clock ran at 50 ppm; after it the line starts again.
        {"a step restarts the line",
         {check(0, 0), check(3600, 0.18), stepped(7200, 0.36), check(7300, 0), check(10900, -0.0072), check(14500, -0.0144)},
         -2, 1e-6, 3},
        {"too few after the step", {check(0, 0), check(3600, 0.18), check(7200, 0.36), stepped(7300, 0.365), check(7400, 0)},
         std::nullopt, 0, 0},
        {"all at one moment", {check(10, 0.1), check(10, 0.2), check(10, 0.3)}, std::nullopt, 0, 0},
    };
    for (const DriftCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto estimate = EstimateDrift(c.records, kStart);
        ASSERT_EQ(estimate.has_value(), c.ppm.has_value());
        if (!estimate)
            continue;
        EXPECT_NEAR(estimate->ppm, *c.ppm, c.tolerancePpm);
        EXPECT_NEAR(estimate->uncertaintyPpm, 0, 1e-6);
        EXPECT_EQ(estimate->checks, c.checks);
    }
}

TEST(Drift, PredictsTheOffsetNowAlongTheLine)
{
    const std::vector<CheckRecord> records = {check(0, 0.01), check(1000, 0.02), check(2000, 0.03)};   // 10 ppm
    const auto estimate = EstimateDrift(records, kStart + 5'000'000);
    ASSERT_TRUE(estimate);
    EXPECT_NEAR(estimate->predictedOffsetNowSeconds, 0.06, 1e-9);
    EXPECT_NEAR(estimate->offsetAt(kStart), 0.01, 1e-9);
    EXPECT_EQ(estimate->firstUnixMs, kStart);
    EXPECT_EQ(estimate->lastUnixMs, kStart + 2'000'000);
}

// Noise of known size around a known rate: the true rate lies within a few
// standard errors, and the standard error shrinks as checks are added.
TEST(Drift, NoisyLinesHoldTheTrueRateWithinTheirUncertainty)
{
    struct NoisyCase {
        double ppm;
        double noiseSeconds;
        int checks;
    };
    const NoisyCase cases[] = {{12.5, 1e-3, 10}, {-40, 5e-3, 30}, {0.5, 2e-4, 100}, {300, 2e-2, 8}};
    for (const NoisyCase& c : cases) {
        SCOPED_TRACE(c.ppm);
        std::vector<CheckRecord> records;
        // A fixed pseudo-random sequence: the test gives the same answer each run.
        std::uint32_t state = 12345;
        for (int i = 0; i < c.checks; ++i) {
            state = state * 1664525u + 1013904223u;
            const double noise = (double(state >> 8) / double(1u << 24) * 2 - 1) * c.noiseSeconds;
            const double t = i * 900.0;
            records.push_back(check(t, 0.2 + c.ppm * 1e-6 * t + noise));
        }
        const auto estimate = EstimateDrift(records, kStart);
        ASSERT_TRUE(estimate);
        EXPECT_GT(estimate->uncertaintyPpm, 0);
        EXPECT_LE(std::abs(estimate->ppm - c.ppm), 3 * estimate->uncertaintyPpm);
        // Uniform noise of half-width a has σ = a/√3: the error cannot be far above that.
        const double span = (c.checks - 1) * 900.0;
        EXPECT_LT(estimate->uncertaintyPpm, 1e6 * c.noiseSeconds / span * 4);
    }
}

// Checks on an exact line still carry their own error bounds.
TEST(Drift, ErrorBoundsSetTheLeastUncertainty)
{
    const std::vector<CheckRecord> records = {check(0, 0, 1e-3), check(100, 1e-3, 1e-3), check(200, 2e-3, 1e-3)};
    const auto estimate = EstimateDrift(records, kStart);
    ASSERT_TRUE(estimate);
    EXPECT_NEAR(estimate->ppm, 10, 1e-6);
    // σ_b = √(Σdx²σ²)/Σdx² = σ/√(Σdx²) = 1e-3/√20000.
    EXPECT_NEAR(estimate->uncertaintyPpm, 1e-3 / std::sqrt(20000.0) * 1e6, 1e-6);
}

} // namespace
} // namespace history
