#pragma once
// The almanac of one moment as the window's Status, Sun and Moon pages show
// it: labelled text lines, or JSON with every underlying number.

#include "astro/almanac_texts.h"
#include "platform/timezone.h"

#include <QString>
#include <optional>
#include <string>

namespace cli {

struct AlmanacSnapshot {
    std::optional<double> localMoment; // absent when the moment was given in UTC
    QString localText;                 // Panel6: "h:nn:ss AM/PM  m/d/yy"
    double utc = 0;
    std::uint32_t tzState = 0;
    platform::TIME_ZONE_INFORMATION zone;
    astro::AlmanacValues values;
    astro::AlmanacTexts texts;
    astro::EclipticTexts ecliptic;
};

// "2nd Sunday in March": the daylight-saving rule in words (the daylight-saving description's
// selmonth; the window's own will live in ui/).
QString RuleText(int month, int week);

// A date-time value as ISO 8601 to the millisecond: "2026-11-09T07:03:14.862".
std::string IsoText(double moment);

std::string AlmanacText(const AlmanacSnapshot& s);
std::string AlmanacJson(const AlmanacSnapshot& s);

} // namespace cli
