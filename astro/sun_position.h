#pragma once
// The sun's geometric ecliptic longitude and distance (low-accuracy
// solar theory: mean longitude, mean anomaly, equation of the centre).

#include "astro/ecliptic_position.h"

namespace astro {

inline constexpr long double kAstronomicalUnitKm = 149597869.0L;

// Longitude reduced to [0, 360) degrees, Distance in km; Latitude stays 0.
TEclipticPosition SunPosition(DateTimeValue t);

} // namespace astro
