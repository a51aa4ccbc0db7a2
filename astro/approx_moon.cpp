#include "astro/approx_moon.h"

#include "astro/angles.h"

#include <cmath>

namespace astro {

namespace {

// Stored reciprocals of the four periods, days.
constexpr long double kInvSynodicMonth = 1.0L / 29.530588853L;    // illumination phase
constexpr long double kInvAnomalisticMonth = 1.0L / 27.55454988L; // distance phase
constexpr long double kInvDraconicMonth = 1.0L / 27.212220817L;   // node phase
constexpr long double kInvSiderealMonth = 1.0L / 27.321582241L;   // longitude phase

// x - Int(x), with 1 added when negative: the fraction in [0, 1).
long double Frac(long double x)
{
    long double f = x - std::trunc(x);
    if (f < 0)
        f += 1;
    return f;
}

} // namespace

ApproxEcliptic ApproxMoonEcliptic(double j)
{
    const long double J = j;
    const long double ip = Frac((J - 2451550.1L) * kInvSynodicMonth) * 2 * kPi;
    const long double dp = Frac((J - 2451562.2L) * kInvAnomalisticMonth) * 2 * kPi;
    const long double np = Frac((J - 2451565.2L) * kInvDraconicMonth) * 2 * kPi;
    const long double rp = Frac((J - 2451555.8L) * kInvSiderealMonth);

    ApproxEcliptic e;
    e.latitude = 5.1L * std::sin(np);
    e.longitude = 360 * rp + 6.3L * std::sin(dp) + 1.3L * std::sin(2 * ip - dp) + 0.7L * std::sin(2 * ip);
    return e;
}

} // namespace astro
