#include "astro/angles.h"

namespace astro {

long double ArcCosRad(long double x)
{
    // In double, like the sines: extended atan2l costs far more and the
    // result is used only for the phase angle, given to 0.001 degree.
    const double d = static_cast<double>(x);
    return std::atan2(std::sqrt(1 - d * d), d);
}

} // namespace astro
