// Sun and moon positions, the derived quantities and the coarse
// ecliptic model, to the digits of the check values.
#include "astro/angles.h"
#include "astro/approx_moon.h"
#include "astro/lunar_quantities.h"
#include "astro/moon_position.h"
#include "astro/phase_dates.h"
#include "astro/sun_position.h"

#include <gtest/gtest.h>

namespace astro {
namespace {

// Half a unit of the last digit given in the check values.
#define EXPECT_DIGITS(actual, expected, halfUnit) EXPECT_NEAR(static_cast<double>(actual), expected, halfUnit)

TEST(MoonPosition, TwelfthOfApril1992)
{
    const TEclipticPosition p = MoonPosition(33706);
    EXPECT_DIGITS(p.Longitude, -36946.8373, 0.00005);
    EXPECT_DIGITS(Normalize360(p.Longitude), 133.1627, 0.00005);
    EXPECT_DIGITS(p.Latitude, -3.22913, 0.000005);
    EXPECT_DIGITS(p.Distance, 368409.68, 0.005);
}

TEST(SunPosition, ThirteenthOfOctober1992)
{
    const TEclipticPosition p = SunPosition(33890);
    EXPECT_DIGITS(p.Longitude, 199.90987, 0.000005);
    EXPECT_DIGITS(p.Distance, 149248102, 0.5);
    EXPECT_DIGITS(p.Distance / kAstronomicalUnitKm, 0.997662, 0.0000005);
    EXPECT_EQ(p.Latitude, 0);
}

TEST(SunPosition, LongitudeIsReduced)
{
    for (double t = 30000; t < 50000; t += 37.3) {
        const long double l = SunPosition(t).Longitude;
        ASSERT_GE(l, 0);
        ASSERT_LT(l, 360);
    }
}

TEST(LunarQuantities, SeventhOfDecember2026Noon)
{
    const double t = 46363.5;
    EXPECT_DIGITS(MoonAge(t), 28.1380, 0.00005);
    EXPECT_DIGITS(MoonIllumination(t), 0.02374, 0.000005);
    EXPECT_DIGITS(MoonPhaseAngle(t), -162.274, 0.0005);
    EXPECT_DIGITS(MoonDistanceKm(t), 401791.8, 0.05);
    EXPECT_DIGITS(SunDistanceAU(t), 0.985199, 0.0000005);
    EXPECT_DIGITS(SunDiameter(t), 1948.09, 0.005);
    EXPECT_DIGITS(MoonDiameter(t), 1784.37, 0.005);
}

TEST(ApproxMoonEcliptic, SeventhOfDecember2026)
{
    const ApproxEcliptic e = ApproxMoonEcliptic(2461382);
    EXPECT_DIGITS(e.latitude, -5.09999, 0.000005);
    EXPECT_DIGITS(e.longitude, 237.8123, 0.00005);
}

TEST(MoonPhaseAngle, NearPlusMinus180AtNewMoonAndZeroAtFullMoon)
{
    for (double from = 36526; from < 36526 + 365 * 30; from += 97.1) {
        const double newMoon = PhaseTime(pkNew, from);
        const double fullMoon = PhaseTime(pkFull, from);
        EXPECT_GT(std::abs(static_cast<double>(MoonPhaseAngle(newMoon))), 170) << newMoon;
        EXPECT_LT(std::abs(static_cast<double>(MoonPhaseAngle(fullMoon))), 10) << fullMoon;
        EXPECT_LT(MoonIllumination(newMoon), 0.01) << newMoon;
        EXPECT_GT(MoonIllumination(fullMoon), 0.99) << fullMoon;
    }
}

TEST(MoonPhaseAngle, PositiveWhileWaxingNegativeWhileWaning)
{
    const double newMoon = PhaseTime(pkNew, 46363.5);
    const double fullMoon = PhaseTime(pkFull, 46363.5);
    ASSERT_LT(newMoon, fullMoon);
    EXPECT_GT(MoonPhaseAngle(newMoon + 3), 0);
    EXPECT_GT(MoonPhaseAngle(fullMoon - 1), 0);
    EXPECT_LT(MoonPhaseAngle(fullMoon + 1), 0);
    EXPECT_LT(MoonPhaseAngle(fullMoon + 10), 0);
}

TEST(MoonAge, ZeroAtConjunctionInLongitudeAndJustBelowAMonthBefore)
{
    // Find the moment the longitudes are equal by bisection on the elongation.
    double lo = 46365.0 - 1, hi = 46365.0 + 1; // the new moon of 9 December 2026
    auto elongation = [](double t) {
        const long double e = Normalize360(MoonPosition(t).Longitude - SunPosition(t).Longitude);
        return e > 180 ? e - 360 : e;
    };
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (elongation(mid) < 0 ? lo : hi) = mid;
    }
    EXPECT_LT(MoonAge(hi), 1e-5);
    EXPECT_GT(MoonAge(lo - 1e-6), 29.5305);
    EXPECT_LT(MoonAge(lo - 1e-6), kSynodicMonthDays);
}

TEST(MoonAge, AlwaysBelowOneSynodicMonth)
{
    for (double t = 40000; t < 50000; t += 1.37) {
        const long double age = MoonAge(t);
        ASSERT_GE(age, 0);
        ASSERT_LT(age, kSynodicMonthDays);
    }
}

} // namespace
} // namespace astro
