#include "astro/almanac_texts.h"

#include "astro/approx_moon.h"
#include "astro/lunar_quantities.h"
#include "astro/phase_dates.h"
#include "astro/sun_position.h"

#include <cmath>

namespace astro {

namespace {

constexpr long double kInvEarthRadiusKm = 1.0L / 6378.15L;
constexpr long double kInvArcsecPerDegree = 1.0L / 3600.0L;

} // namespace

AlmanacValues ComputeAlmanac(DateTimeValue utc)
{
    AlmanacValues v;
    v.utc = utc;
    v.lastNewMoon = LastPhase(pkNew, utc);
    // The quarters and the full moon of the lunation that began at the last new
    // moon, before or after now; only the next new moon is searched from now.
    v.firstQuarter = NextPhase(pkFirstQuarter, v.lastNewMoon);
    v.fullMoon = NextPhase(pkFull, v.lastNewMoon);
    v.lastQuarter = NextPhase(pkLastQuarter, v.lastNewMoon);
    v.nextNewMoon = NextPhase(pkNew, utc);
    v.moonDistanceKm = MoonDistanceKm(utc);
    v.sunDistanceAU = SunDistanceAU(utc);
    v.moonAgeDays = MoonAge(utc);
    v.moonIllumination = MoonIllumination(utc);
    v.moonDiameterArcsec = MoonDiameter(utc);
    v.sunDiameterArcsec = SunDiameter(utc);
    return v;
}

AlmanacTexts FormatAlmanac(const AlmanacValues& v, const TextSeparators& separators)
{
    AlmanacTexts t;
    t.lblNewMoon = FormatUtc(v.lastNewMoon, separators);
    t.lblFQ = FormatUtc(v.firstQuarter, separators);
    t.lblFullMoon = FormatUtc(v.fullMoon, separators);
    t.lblLQ = FormatUtc(v.lastQuarter, separators);
    t.lblNNM = FormatUtc(v.nextNewMoon, separators);
    t.lblDist = RoundText(v.moonDistanceKm) + " km, " + Str(v.moonDistanceKm * kInvEarthRadiusKm, 4, 1) + " ER";
    t.lblSunDist = RoundText(v.sunDistanceAU * kAstronomicalUnitKm) + " km, " + Str(v.sunDistanceAU, 6, 3) + " AU";
    t.lblAge = FormatAge(v.moonAgeDays);
    t.lblPhase = RoundText(v.moonIllumination * 100) + "%";
    t.lblMoonSub = Str(v.moonDiameterArcsec * kInvArcsecPerDegree, 6, 4);
    t.lblSunSub = Str(v.sunDiameterArcsec * kInvArcsecPerDegree, 6, 4);
    return t;
}

AlmanacTexts AlmanacTextsAt(DateTimeValue utc, const TextSeparators& separators)
{
    return FormatAlmanac(ComputeAlmanac(utc), separators);
}

EclipticTexts EclipticTextsForDate(int year, int month, int day)
{
    EclipticTexts e;
    e.julianDayNumber = CalendarDayNumber(year, month, day);
    const ApproxEcliptic position = ApproxMoonEcliptic(e.julianDayNumber);
    e.latitude = position.latitude;
    e.longitude = position.longitude;
    e.lblEclLat = EclipticDegreesText(e.latitude);
    e.lblEclLong = EclipticDegreesText(e.longitude);
    return e;
}

std::string EclipticDegreesText(long double degrees)
{
    // Truncation toward zero through an integer: -0.7 shows "0°", not "-0°".
    return std::to_string(static_cast<long long>(std::trunc(degrees))) + "\u00B0";
}

} // namespace astro
