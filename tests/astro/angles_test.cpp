// The angle routines.
#include "astro/angles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace astro {
namespace {

TEST(Normalize360, CheckValues)
{
    EXPECT_EQ(Normalize360(540), 180);
    EXPECT_EQ(Normalize360(-30), 330);
    EXPECT_EQ(Normalize360(360), 0);
    EXPECT_EQ(Normalize360(-180), 180);
    EXPECT_NEAR(static_cast<double>(Normalize360(359.9L)), 359.9, 1e-12);
}

TEST(Normalize360, HalvesOfTurnsRoundToEven)
{
    EXPECT_EQ(Normalize360(180), 180);  // 0.5 rounds to 0
    EXPECT_EQ(Normalize360(900), 180);  // 2.5 rounds to 2
    EXPECT_EQ(Normalize360(-540), 180); // -1.5 rounds to -2
}

TEST(Normalize360, TinyNegativeAngleGivesZeroNotThreeSixty)
{
    EXPECT_EQ(Normalize360(-1e-20L), 0);
    EXPECT_LT(Normalize360(-1e-15L), 360);
}

TEST(Normalize360, AlwaysInHalfOpenRange)
{
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<long double> wide(-1e7L, 1e7L);
    std::uniform_real_distribution<long double> unit(-1, 1);
    for (int i = 0; i < 200000; ++i) {
        const long double x = (i % 2 == 0) ? wide(random) : unit(random) * std::pow(10.0L, -(i % 25));
        const long double r = Normalize360(x);
        ASSERT_GE(r, 0) << static_cast<double>(x);
        ASSERT_LT(r, 360) << static_cast<double>(x);
    }
}

TEST(SinCosDeg, KnownAngles)
{
    EXPECT_NEAR(static_cast<double>(SinDeg(30)), 0.5, 1e-15);
    EXPECT_NEAR(static_cast<double>(CosDeg(60)), 0.5, 1e-15);
    EXPECT_NEAR(static_cast<double>(SinDeg(-90)), -1, 1e-15);
    EXPECT_NEAR(static_cast<double>(CosDeg(720 + 180)), -1, 1e-15);
    EXPECT_NEAR(static_cast<double>(SinDeg(-36946.8373L)), static_cast<double>(SinDeg(133.1627L)), 1e-12);
}

TEST(ArcCosRad, RangeEnds)
{
    EXPECT_NEAR(static_cast<double>(ArcCosRad(1)), 0, 1e-18);
    EXPECT_NEAR(static_cast<double>(ArcCosRad(-1)), static_cast<double>(kPi), 1e-15);
    EXPECT_NEAR(static_cast<double>(ArcCosRad(0)), static_cast<double>(kPi / 2), 1e-15);
    EXPECT_NEAR(static_cast<double>(ArcCosRad(0.5L)), std::acos(0.5), 1e-15);
}

TEST(RoundHalfEven, Halves)
{
    EXPECT_EQ(RoundHalfEven(0.5L), 0);
    EXPECT_EQ(RoundHalfEven(1.5L), 2);
    EXPECT_EQ(RoundHalfEven(2.5L), 2);
    EXPECT_EQ(RoundHalfEven(-2.5L), -2);
    EXPECT_EQ(RoundHalfEven(2.6L), 3);
}

} // namespace
} // namespace astro
