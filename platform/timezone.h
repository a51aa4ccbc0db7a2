#pragma once
// GetTimeZoneInformation over the system's tz database (QTimeZone, which
// honours TZ). UTC = local time + Bias (+ DaylightBias while daylight time is
// in force). Transition dates are recurring rules, as Windows gives them:
// month, weekday (0 = Sunday) and occurrence 1-5 (5 = the last) in wDay.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

class QDateTime;
class QTimeZone;

namespace platform {

struct SYSTEMTIME {
    std::uint16_t wYear = 0; // 0: a recurring rule
    std::uint16_t wMonth = 0; // 1-12; 0 in both dates when the zone has no rules
    std::uint16_t wDayOfWeek = 0;
    std::uint16_t wDay = 0; // occurrence of the weekday in the month, 1-5
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

struct TIME_ZONE_INFORMATION {
    std::int32_t Bias = 0;       // minutes, UTC = local + Bias in standard time
    QString StandardName;        // e.g. "Eastern Standard Time"
    SYSTEMTIME StandardDate;     // when daylight time ends
    std::int32_t StandardBias = 0;
    QString DaylightName;        // e.g. "Eastern Daylight Time"
    SYSTEMTIME DaylightDate;     // when daylight time starts
    std::int32_t DaylightBias = 0; // minutes added to Bias in daylight time, e.g. -60
};

// Result codes of GetTimeZoneInformation.
inline constexpr std::uint32_t TIME_ZONE_ID_UNKNOWN = 0;  // the zone has no daylight-saving rules
inline constexpr std::uint32_t TIME_ZONE_ID_STANDARD = 1; // standard time now
inline constexpr std::uint32_t TIME_ZONE_ID_DAYLIGHT = 2; // daylight time now

// The daylight part of the bias under a query's result. Daylight time shifts
// by the zone's own DaylightBias, which is not always an hour
// (Australia/Lord_Howe: 30 minutes, Antarctica/Troll: 2 hours).
inline std::int32_t DaylightBiasInForce(const TIME_ZONE_INFORMATION& info, std::uint32_t result)
{
    return result == TIME_ZONE_ID_DAYLIGHT ? info.DaylightBias : 0;
}

// The whole bias in force under a query's result: UTC = local + this.
inline std::int32_t BiasInForce(const TIME_ZONE_INFORMATION& info, std::uint32_t result)
{
    return info.Bias + DaylightBiasInForce(info, result);
}

// The time-zone seam: the real zone below, a fake in tests.
class TimeZoneService {
public:
    virtual ~TimeZoneService() = default;
    virtual std::uint32_t GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) const = 0;
};

// The system's zone (QTimeZone::systemTimeZone()) at the present moment.
class SystemTimeZone final : public TimeZoneService {
public:
    std::uint32_t GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) const override;

private:
    static constexpr int kCacheSeconds = 3600;
    struct Cached {
        QByteArray zoneId;
        QDateTime computedAt;
        QDateTime validUntil;   // the zone's next change of offset, or an hour on
        TIME_ZONE_INFORMATION info;
        std::uint32_t result = 0;
    };
    mutable std::optional<Cached> cache_;
};

// The query for a given zone and moment. "Has rules" is decided from the
// transitions of the coming 13 months that change the offset both ways (tz
// artefacts that change nothing are ignored); the larger offset is daylight
// time, so zones with a negative daylight offset (Europe/Dublin) read as
// Windows shows them.
// `nextChange`, when given, gets the first change of offset in that window.
std::uint32_t TimeZoneInformationAt(const QTimeZone& zone, const QDateTime& nowUtc, TIME_ZONE_INFORMATION& info,
                                    QDateTime* nextChange = nullptr);

} // namespace platform
