#pragma once
// The almanac quantities derived from the two positions. Each
// routine computes the positions it needs afresh; none shares work.

#include "astro/calendar.h"

namespace astro {

inline constexpr long double kSynodicMonthDays = 29.530589L; // mean new moon to new moon

// Phase angle in degrees, (-180, 180): near +-180 at new moon, near 0 at full
// moon, positive while waxing.
long double MoonPhaseAngle(DateTimeValue t);

// Illuminated fraction of the disc, 0 to 1.
long double MoonIllumination(DateTimeValue t);

// Days since new moon, [0, 29.530589), from the elongation in longitude.
long double MoonAge(DateTimeValue t);

// The sun's distance in astronomical units of 149597869 km.
long double SunDistanceAU(DateTimeValue t);

// The moon's distance in km.
long double MoonDistanceKm(DateTimeValue t);

// Apparent diameters in seconds of arc.
long double SunDiameter(DateTimeValue t);
long double MoonDiameter(DateTimeValue t);

} // namespace astro
