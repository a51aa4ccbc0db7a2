#pragma once
// Angle routines. Degrees unless the name says radians. Inline:
// a moon position takes some 300 of them, and the tick five moon positions.

#include <cmath>

namespace astro {

inline constexpr long double kPi = 3.141592653589793238462643383279502884L;
inline constexpr long double kInv360 = 1.0L / 360.0L;
inline constexpr long double kRadiansPerDegree = kPi * (1.0L / 180.0L); // pi x (1/180)

// Nearest integer, halves to even (the design's Round). rint follows the
// rounding mode, round-to-nearest-even unless someone changed it; nearbyint
// gives the same but saves and restores the FPU environment on every call,
// which was half the cost of a moon position.
inline long double RoundHalfEven(long double x)
{
    return std::rint(x);
}

// The same angle in [0, 360).
inline long double Normalize360(long double degrees)
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

// The angle for the sine: Normalize360's steps in double, then radians. An
// argument of a periodic term is summed in extended, but its sine is good to
// 1e-16 from a double (the conversion costs under 1e-10 degree at the tick's
// arguments), far below every check value; extended sinl and the x87 rounding
// made one moon position cost 75 us, this about 5 us.
inline double RadiansOf(long double degrees)
{
    constexpr double kInv360d = 1.0 / 360.0;
    constexpr double kRadiansPerDegreeD = static_cast<double>(kRadiansPerDegree);
    const double d = static_cast<double>(degrees);
    double x = d - 360 * std::rint(d * kInv360d);
    while (x < 0)
        x += 360;
    if (x >= 360)
        x -= 360;
    return x * kRadiansPerDegreeD;
}

// Sine and cosine of an angle in degrees, reduced by Normalize360 first.
inline long double SinDeg(long double degrees)
{
    return std::sin(RadiansOf(degrees));
}
inline long double CosDeg(long double degrees)
{
    return std::cos(RadiansOf(degrees));
}

// Both of one angle from one reduction: exactly SinDeg and CosDeg.
struct SinCos {
    long double sin, cos;
};
inline SinCos SinCosDeg(long double degrees)
{
    const double radians = RadiansOf(degrees);
    return {std::sin(radians), std::cos(radians)};
}

// Arc cosine in radians, [0, pi], as arctan2(sqrt(1 - x^2), x).
long double ArcCosRad(long double x);

} // namespace astro
