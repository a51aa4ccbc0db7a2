#pragma once
// The almanac's values and texts for one UTC moment (every label
// of the once-a-second tick) and the start-up ecliptic texts (getmoon).

#include "astro/calendar.h"
#include "astro/number_format.h"

#include <string>

namespace astro {

// The numbers behind the tick's labels, each computed afresh as the tick does.
struct AlmanacValues {
    DateTimeValue utc = 0;
    DateTimeValue lastNewMoon = 0;  // LastPhase(pkNew, utc)
    DateTimeValue firstQuarter = 0; // NextPhase(pkFirstQuarter, lastNewMoon)
    DateTimeValue fullMoon = 0;     // NextPhase(pkFull, lastNewMoon)
    DateTimeValue lastQuarter = 0;  // NextPhase(pkLastQuarter, lastNewMoon)
    DateTimeValue nextNewMoon = 0;  // NextPhase(pkNew, utc)
    long double moonDistanceKm = 0;
    long double sunDistanceAU = 0;
    long double moonAgeDays = 0;
    long double moonIllumination = 0; // 0 to 1
    long double moonDiameterArcsec = 0;
    long double sunDiameterArcsec = 0;
};

// The captions of the eleven labels, named as the window names them.
struct AlmanacTexts {
    std::string lblNewMoon, lblFQ, lblFullMoon, lblLQ, lblNNM;
    std::string lblDist, lblSunDist, lblAge, lblPhase, lblMoonSub, lblSunSub;
};

AlmanacValues ComputeAlmanac(DateTimeValue utc);
AlmanacTexts FormatAlmanac(const AlmanacValues& values, const TextSeparators& separators = {});

// Both in one: every text of steps 4 to 14 for the UTC moment.
AlmanacTexts AlmanacTextsAt(DateTimeValue utc, const TextSeparators& separators = {});

// getmoon: the moon's coarse ecliptic position for a calendar date, and the
// two captions (truncated toward zero, then the degree sign "°").
struct EclipticTexts {
    double julianDayNumber = 0;
    long double latitude = 0;  // degrees
    long double longitude = 0; // degrees, not reduced
    std::string lblEclLat, lblEclLong;
};
EclipticTexts EclipticTextsForDate(int year, int month, int day);

// An ecliptic caption: truncated toward zero, no reduction, then "°":
// 362.4 gives "362°", -0.7 gives "0°", -1.2 gives "-1°".
std::string EclipticDegreesText(long double degrees);

} // namespace astro
