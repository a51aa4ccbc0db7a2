#pragma once
// The record both position routines fill, and their time argument.

#include "astro/calendar.h"

namespace astro {

struct TEclipticPosition {
    long double Longitude = 0; // degrees; the moon's is not reduced, the sun's is in [0, 360)
    long double Latitude = 0;  // degrees; filled for the moon only
    long double Distance = 0;  // km from the earth's centre
};

// Julian centuries from 1 January 2000 12:00 (J2000.0).
inline long double CenturiesSinceJ2000(DateTimeValue t)
{
    constexpr long double kInvDaysPerCentury = 1.0L / 36525.0L;
    return (DateToJulian(t) - 2451545.0L) * kInvDaysPerCentury;
}

} // namespace astro
