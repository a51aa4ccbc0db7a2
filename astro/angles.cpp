#include "astro/angles.h"

#include <cmath>

namespace astro {

namespace {
constexpr long double kInv360 = 1.0L / 360.0L;
constexpr long double kInv180 = 1.0L / 180.0L;
} // namespace

long double RoundHalfEven(long double x)
{
    // rint follows the rounding mode, which is round-to-nearest-even unless
    // someone changed it; nearbyint would be the same without the inexact flag.
    return std::nearbyint(x);
}

long double Normalize360(long double degrees)
{
    const long double a = RoundHalfEven(degrees * kInv360);
    long double x = degrees - 360 * a;
    while (x < 0)
        x += 360;
    // A tiny negative x plus 360 rounds to 360 itself; the range is [0, 360).
    if (x >= 360)
        x -= 360;
    return x;
}

long double SinDeg(long double degrees)
{
    return std::sin(Normalize360(degrees) * kPi * kInv180);
}

long double CosDeg(long double degrees)
{
    return std::cos(Normalize360(degrees) * kPi * kInv180);
}

long double ArcCosRad(long double x)
{
    return std::atan2(std::sqrt(1 - x * x), x);
}

} // namespace astro
