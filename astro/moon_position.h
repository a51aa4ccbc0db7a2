#pragma once
// The moon's ecliptic position from 60 + 60 periodic terms plus the
// additive terms in A1, A2, A3. No difference between UT and dynamical time.

#include "astro/ecliptic_position.h"

namespace astro {

// Longitude in degrees, not reduced (mean longitude plus the periodic sum);
// Latitude in degrees; Distance in km.
TEclipticPosition MoonPosition(DateTimeValue t);

} // namespace astro
