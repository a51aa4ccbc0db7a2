#include "platform/timezone.h"

#include <QDateTime>
#include <QTimeZone>

#include <optional>

namespace platform {

namespace {

constexpr int kRuleWindowMonths = 13;
constexpr int kDaysPerWeek = 7;

// The transition as a recurring rule, in the local time in force before it.
SYSTEMTIME RuleOf(const QTimeZone::OffsetData& transition, int offsetBeforeSeconds)
{
    const QDateTime local = transition.atUtc.toUTC().addSecs(offsetBeforeSeconds);
    const QDate date = local.date();
    SYSTEMTIME rule;
    rule.wMonth = static_cast<std::uint16_t>(date.month());
    rule.wDayOfWeek = static_cast<std::uint16_t>(date.dayOfWeek() % kDaysPerWeek); // Qt: Monday 1 ... Sunday 7
    const bool lastOfMonth = date.day() + kDaysPerWeek > date.daysInMonth();
    rule.wDay = static_cast<std::uint16_t>(lastOfMonth ? 5 : (date.day() - 1) / kDaysPerWeek + 1);
    rule.wHour = static_cast<std::uint16_t>(local.time().hour());
    rule.wMinute = static_cast<std::uint16_t>(local.time().minute());
    return rule;
}

} // namespace

std::uint32_t TimeZoneInformationAt(const QTimeZone& zone, const QDateTime& nowUtc, TIME_ZONE_INFORMATION& info,
                                    QDateTime* nextChange)
{
    info = TIME_ZONE_INFORMATION{};
    const int offsetNow = zone.offsetFromUtc(nowUtc);
    info.StandardName = zone.displayName(QTimeZone::StandardTime, QTimeZone::LongName);
    info.DaylightName = zone.displayName(QTimeZone::DaylightTime, QTimeZone::LongName);

    // Transitions of the coming months that change the offset, each with the
    // offset before it.
    std::optional<QTimeZone::OffsetData> toHigher, toLower;
    int before = offsetNow;
    int higher = offsetNow, lower = offsetNow;
    std::optional<int> offsetBeforeHigher, offsetBeforeLower;
    for (const QTimeZone::OffsetData& t : zone.transitions(nowUtc, nowUtc.addMonths(kRuleWindowMonths))) {
        if (nextChange && !nextChange->isValid() && t.offsetFromUtc != before)
            *nextChange = t.atUtc;
        if (t.offsetFromUtc > before && !toHigher) {
            toHigher = t;
            offsetBeforeHigher = before;
        } else if (t.offsetFromUtc < before && !toLower) {
            toLower = t;
            offsetBeforeLower = before;
        }
        higher = std::max(higher, t.offsetFromUtc);
        lower = std::min(lower, t.offsetFromUtc);
        before = t.offsetFromUtc;
    }

    if (!toHigher || !toLower) {
        info.Bias = -offsetNow / 60;
        return TIME_ZONE_ID_UNKNOWN;
    }
    info.Bias = -lower / 60;
    info.DaylightBias = -(higher - lower) / 60;
    info.DaylightDate = RuleOf(*toHigher, *offsetBeforeHigher);
    info.StandardDate = RuleOf(*toLower, *offsetBeforeLower);
    return offsetNow == higher ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

// The query reads the tz database through ICU (milliseconds): its answer is
// kept until the zone is another, its next change of offset, or an hour.
std::uint32_t SystemTimeZone::GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) const
{
    const QDateTime nowUtc = QDateTime::currentDateTimeUtc();
    const QByteArray zoneId = QTimeZone::systemTimeZoneId();
    if (cache_ && cache_->zoneId == zoneId && nowUtc >= cache_->computedAt && nowUtc < cache_->validUntil) {
        info = cache_->info;
        return cache_->result;
    }
    QDateTime nextChange;
    Cached fresh;
    fresh.zoneId = zoneId;
    fresh.computedAt = nowUtc;
    fresh.result = TimeZoneInformationAt(QTimeZone(zoneId), nowUtc, fresh.info, &nextChange);
    fresh.validUntil = nowUtc.addSecs(kCacheSeconds);
    if (nextChange.isValid() && nextChange < fresh.validUntil)
        fresh.validUntil = nextChange;
    cache_ = fresh;
    info = fresh.info;
    return fresh.result;
}

} // namespace platform
