#pragma once
// The coarse model of the moon's ecliptic position from a julian
// day number, used once at start-up (getmoon).

namespace astro {

struct ApproxEcliptic {
    long double latitude = 0;  // degrees
    long double longitude = 0; // degrees, not reduced: may lie slightly outside [0, 360)
};

// j: a whole julian day number, as CalendarDayNumber gives.
ApproxEcliptic ApproxMoonEcliptic(double j);

} // namespace astro
