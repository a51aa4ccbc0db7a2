#include "astro/lunar_quantities.h"

#include "astro/angles.h"
#include "astro/moon_position.h"
#include "astro/sun_position.h"

#include <cmath>

namespace astro {

namespace {
constexpr long double kInvPi = 1.0L / kPi;
constexpr long double kInvAstronomicalUnitKm = 1.0L / kAstronomicalUnitKm;
constexpr long double kSunSemidiameterAt1AuArcsec = 959.63L;
constexpr long double kMoonSemidiameterFactorKmArcsec = 358473400.0L; // semidiameter x distance
} // namespace

long double MoonPhaseAngle(DateTimeValue t)
{
    const TEclipticPosition S = SunPosition(t);
    const TEclipticPosition L = MoonPosition(t);
    // Geocentric elongation, radians.
    const long double psi = ArcCosRad(CosDeg(L.Latitude) * CosDeg(L.Longitude - S.Longitude));
    // Phase angle as the principal arc tangent, radians.
    // (Sine, cosine and arc tangent in double, as in angles.h.)
    const double psiRadians = static_cast<double>(psi);
    const long double i = std::atan(static_cast<double>(
        S.Distance * std::sin(psiRadians) / (L.Distance - S.Distance * std::cos(psiRadians))));
    long double degrees = i * kInvPi * 180;
    if (i < 0)
        degrees += 180;
    if (Normalize360(L.Longitude - S.Longitude) > 180)
        degrees = -degrees;
    return degrees;
}

long double MoonIllumination(DateTimeValue t)
{
    return (CosDeg(MoonPhaseAngle(t)) + 1) * 0.5L;
}

long double MoonAge(DateTimeValue t)
{
    const TEclipticPosition S = SunPosition(t);
    const TEclipticPosition L = MoonPosition(t);
    return Normalize360(L.Longitude - S.Longitude) * kInv360 * kSynodicMonthDays;
}

long double SunDistanceAU(DateTimeValue t)
{
    return SunPosition(t).Distance * kInvAstronomicalUnitKm;
}

long double MoonDistanceKm(DateTimeValue t)
{
    return MoonPosition(t).Distance;
}

long double SunDiameter(DateTimeValue t)
{
    return kSunSemidiameterAt1AuArcsec / SunDistanceAU(t) * 2;
}

long double MoonDiameter(DateTimeValue t)
{
    return kMoonSemidiameterFactorKmArcsec / MoonPosition(t).Distance * 2;
}

} // namespace astro
