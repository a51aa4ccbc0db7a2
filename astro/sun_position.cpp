#include "astro/sun_position.h"

#include "astro/angles.h"

namespace astro {

TEclipticPosition SunPosition(DateTimeValue t)
{
    const long double T = CenturiesSinceJ2000(t);
    // Geometric mean longitude, degrees.
    const long double L0 = (0.0003032L * T + 36000.76983L) * T + 280.46645L;
    // Eccentricity of the earth's orbit.
    const long double e = (-0.0000001236L * T - 0.000042037L) * T + 0.016708617L;
    // Mean anomaly, degrees.
    const long double M = ((-0.00000048L * T - 0.0001559L) * T + 35999.0503L) * T + 357.5291L;
    // Equation of the centre, degrees.
    const long double C = ((-0.000014L * T - 0.004817L) * T + 1.9146L) * SinDeg(M)
                        + (-0.000101L * T + 0.019993L) * SinDeg(2 * M)
                        + 0.00029L * SinDeg(3 * M);
    const long double nu = M + C; // true anomaly, not reduced

    TEclipticPosition p;
    p.Longitude = Normalize360(L0 + C);
    p.Distance = (1 - e * e) * 1.000001018L / (1 + e * CosDeg(nu)) * kAstronomicalUnitKm;
    return p;
}

} // namespace astro
