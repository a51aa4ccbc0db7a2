#include "fakes/fake_timezone.h"

namespace fakes {

std::uint32_t FakeTimeZone::GetTimeZoneInformation(platform::TIME_ZONE_INFORMATION& out) const
{
    ++queries;
    out = info;
    return result;
}

FakeTimeZone FakeTimeZone::WithBias(int biasMinutes, std::uint32_t result)
{
    FakeTimeZone zone;
    zone.result = result;
    zone.info.Bias = biasMinutes;
    zone.info.StandardName = QStringLiteral("Fake Standard Time");
    zone.info.DaylightName = QStringLiteral("Fake Daylight Time");
    if (result != platform::TIME_ZONE_ID_UNKNOWN) {
        zone.info.DaylightBias = -60;
        zone.info.DaylightDate.wMonth = 3;
        zone.info.DaylightDate.wDay = 2;
        zone.info.DaylightDate.wHour = 2;
        zone.info.StandardDate.wMonth = 11;
        zone.info.StandardDate.wDay = 1;
        zone.info.StandardDate.wHour = 2;
    }
    return zone;
}

} // namespace fakes
