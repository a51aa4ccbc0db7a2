#pragma once
// A time zone that answers what the test set: the info record and the result.

#include "platform/timezone.h"

namespace fakes {

class FakeTimeZone final : public platform::TimeZoneService {
public:
    platform::TIME_ZONE_INFORMATION info;
    std::uint32_t result = platform::TIME_ZONE_ID_UNKNOWN;
    mutable int queries = 0;

    std::uint32_t GetTimeZoneInformation(platform::TIME_ZONE_INFORMATION& out) const override;

    // A zone with standard bias `biasMinutes` and, when daylight is true, US-like
    // rules (2nd Sunday in March to 1st Sunday in November, daylight bias -60).
    static FakeTimeZone WithBias(int biasMinutes, std::uint32_t result = platform::TIME_ZONE_ID_STANDARD);
};

} // namespace fakes
