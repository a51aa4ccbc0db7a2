#include "cli/almanac_report.h"

#include "astro/lunar_quantities.h"
#include "astro/moon_position.h"
#include "astro/sun_position.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>
#include <sstream>

namespace cli {

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86400000;

void Line(std::ostringstream& out, const char* caption, const std::string& text)
{
    char padded[32];
    std::snprintf(padded, sizeof padded, "%-26s", caption);
    out << padded << text << '\n';
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

QJsonObject Moment(double value)
{
    return QJsonObject{{QStringLiteral("value"), value}, {QStringLiteral("iso"), Q(IsoText(value))}};
}

bool HasRules(const AlmanacSnapshot& s) { return s.zone.StandardDate.wMonth != 0; }

} // namespace

QString RuleText(int month, int week)
{
    static const char* const kWeeks[] = {"1st Sunday in ", "2nd Sunday in ", "3rd Sunday in ", "4th Sunday in ",
                                         "Last Sunday in "};
    static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    QString text;
    if (week >= 1 && week <= 5)
        text += QLatin1String(kWeeks[week - 1]);
    if (month >= 1 && month <= 12)
        text += QLatin1String(kMonths[month - 1]);
    return text;
}

std::string IsoText(double moment)
{
    const auto ms = static_cast<std::int64_t>(std::nearbyint(moment * kMillisecondsPerDay));
    std::int64_t days = ms / kMillisecondsPerDay;
    std::int64_t time = ms % kMillisecondsPerDay;
    if (time < 0) {
        time += kMillisecondsPerDay;
        --days;
    }
    const astro::CivilDate d = astro::CivilFromDayCount(days);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02lld:%02lld:%02lld.%03lld", d.year, d.month, d.day,
                  static_cast<long long>(time / 3600000), static_cast<long long>(time / 60000 % 60),
                  static_cast<long long>(time / 1000 % 60), static_cast<long long>(time % 1000));
    return buffer;
}

std::string AlmanacText(const AlmanacSnapshot& s)
{
    std::ostringstream out;
    if (s.localMoment)
        Line(out, "Local time:", s.localText.toStdString());
    Line(out, "UTC:", IsoText(s.utc).substr(0, 19));
    const bool daylight = s.tzState == platform::TIME_ZONE_ID_DAYLIGHT;
    Line(out, "Time zone:", (daylight ? s.zone.DaylightName : s.zone.StandardName).toStdString());
    Line(out, "Sun's distance:", s.texts.lblSunDist);
    Line(out, "Sun subtends:", s.texts.lblSunSub);
    const std::string noRules = "no daylight savings time!";
    Line(out, "Daylight Savings starts:",
         HasRules(s) ? RuleText(s.zone.DaylightDate.wMonth, s.zone.DaylightDate.wDay).toStdString() : noRules);
    Line(out, "Daylight Savings ends:",
         HasRules(s) ? RuleText(s.zone.StandardDate.wMonth, s.zone.StandardDate.wDay).toStdString() : noRules);
    Line(out, "Moon's age:", s.texts.lblAge);
    Line(out, "Moon's phase:", s.texts.lblPhase);
    Line(out, "Moon's distance:", s.texts.lblDist);
    Line(out, "Ecliptic latitude:", s.ecliptic.lblEclLat);
    Line(out, "Ecliptic longitude:", s.ecliptic.lblEclLong);
    Line(out, "Moon subtends:", s.texts.lblMoonSub);
    Line(out, "Last new moon:", s.texts.lblNewMoon);
    Line(out, "First quarter:", s.texts.lblFQ);
    Line(out, "Full moon:", s.texts.lblFullMoon);
    Line(out, "Last quarter:", s.texts.lblLQ);
    Line(out, "Next new moon:", s.texts.lblNNM);
    return out.str();
}

std::string AlmanacJson(const AlmanacSnapshot& s)
{
    const astro::AlmanacValues& v = s.values;
    const astro::TEclipticPosition moon = astro::MoonPosition(s.utc);
    const astro::TEclipticPosition sun = astro::SunPosition(s.utc);

    QJsonObject texts{
        {QStringLiteral("lblNewMoon"), Q(s.texts.lblNewMoon)}, {QStringLiteral("lblFQ"), Q(s.texts.lblFQ)},
        {QStringLiteral("lblFullMoon"), Q(s.texts.lblFullMoon)}, {QStringLiteral("lblLQ"), Q(s.texts.lblLQ)},
        {QStringLiteral("lblNNM"), Q(s.texts.lblNNM)}, {QStringLiteral("lblDist"), Q(s.texts.lblDist)},
        {QStringLiteral("lblSunDist"), Q(s.texts.lblSunDist)}, {QStringLiteral("lblAge"), Q(s.texts.lblAge)},
        {QStringLiteral("lblPhase"), Q(s.texts.lblPhase)}, {QStringLiteral("lblMoonSub"), Q(s.texts.lblMoonSub)},
        {QStringLiteral("lblSunSub"), Q(s.texts.lblSunSub)}, {QStringLiteral("lblEclLat"), Q(s.ecliptic.lblEclLat)},
        {QStringLiteral("lblEclLong"), Q(s.ecliptic.lblEclLong)},
    };
    if (s.localMoment)
        texts.insert(QStringLiteral("Panel6"), s.localText);

    QJsonObject zone{
        {QStringLiteral("state"), static_cast<int>(s.tzState)},
        {QStringLiteral("bias"), s.zone.Bias},
        {QStringLiteral("daylightBias"), s.zone.DaylightBias},
        {QStringLiteral("standardName"), s.zone.StandardName},
        {QStringLiteral("daylightName"), s.zone.DaylightName},
    };
    if (HasRules(s)) {
        zone.insert(QStringLiteral("daylightStarts"), RuleText(s.zone.DaylightDate.wMonth, s.zone.DaylightDate.wDay));
        zone.insert(QStringLiteral("daylightEnds"), RuleText(s.zone.StandardDate.wMonth, s.zone.StandardDate.wDay));
    }

    QJsonObject root{
        {QStringLiteral("utc"), Moment(s.utc)},
        {QStringLiteral("timeZone"), zone},
        {QStringLiteral("texts"), texts},
        {QStringLiteral("moon"),
         QJsonObject{
             {QStringLiteral("longitude"), static_cast<double>(moon.Longitude)},
             {QStringLiteral("latitude"), static_cast<double>(moon.Latitude)},
             {QStringLiteral("distanceKm"), static_cast<double>(v.moonDistanceKm)},
             {QStringLiteral("phaseAngle"), static_cast<double>(astro::MoonPhaseAngle(s.utc))},
             {QStringLiteral("illumination"), static_cast<double>(v.moonIllumination)},
             {QStringLiteral("ageDays"), static_cast<double>(v.moonAgeDays)},
             {QStringLiteral("diameterArcsec"), static_cast<double>(v.moonDiameterArcsec)},
         }},
        {QStringLiteral("sun"),
         QJsonObject{
             {QStringLiteral("longitude"), static_cast<double>(sun.Longitude)},
             {QStringLiteral("distanceKm"), static_cast<double>(sun.Distance)},
             {QStringLiteral("distanceAU"), static_cast<double>(v.sunDistanceAU)},
             {QStringLiteral("diameterArcsec"), static_cast<double>(v.sunDiameterArcsec)},
         }},
        {QStringLiteral("phases"),
         QJsonObject{
             {QStringLiteral("lastNewMoon"), Moment(v.lastNewMoon)},
             {QStringLiteral("firstQuarter"), Moment(v.firstQuarter)},
             {QStringLiteral("fullMoon"), Moment(v.fullMoon)},
             {QStringLiteral("lastQuarter"), Moment(v.lastQuarter)},
             {QStringLiteral("nextNewMoon"), Moment(v.nextNewMoon)},
         }},
        {QStringLiteral("ecliptic"),
         QJsonObject{
             {QStringLiteral("julianDayNumber"), s.ecliptic.julianDayNumber},
             {QStringLiteral("latitude"), static_cast<double>(s.ecliptic.latitude)},
             {QStringLiteral("longitude"), static_cast<double>(s.ecliptic.longitude)},
         }},
    };
    if (s.localMoment)
        root.insert(QStringLiteral("local"), Moment(*s.localMoment));
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace cli
