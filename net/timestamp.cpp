#include "net/timestamp.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kTopBit = std::int64_t{1} << 31;

std::int64_t floorMod(std::int64_t value, std::int64_t divisor)
{
    const std::int64_t remainder = value % divisor;
    return remainder < 0 ? remainder + divisor : remainder;
}

} // namespace

std::int64_t UnixSecondsFromTimestamp(const TimestampBytes& bytes)
{
    std::int64_t count = (std::int64_t{bytes[0]} << 24) | (std::int64_t{bytes[1]} << 16) |
                         (std::int64_t{bytes[2]} << 8) | std::int64_t{bytes[3]};
    if (count < kTopBit)
        count += kTimestampEra;
    return count - kSecondsFrom1900To1970;
}

ServerTimeOfDay ServerLocalTime(const TimestampBytes& bytes, int biasMinutes, int daylightBiasMinutes)
{
    // Whole-minute biases only shift the time of day, so the bias is applied
    // whole: zones whose offset ends in 15 or 45 minutes keep their own minute.
    const std::int64_t shift = -(std::int64_t{biasMinutes} + daylightBiasMinutes) * 60;
    const std::int64_t local = floorMod(UnixSecondsFromTimestamp(bytes) + shift, kSecondsPerDay);
    return ServerTimeOfDay{static_cast<int>(local / 3600), static_cast<int>(local / 60 % 60),
                           static_cast<int>(local % 60)};
}

Correction CorrectionBetween(int serverSecondsOfDay, int localSecondsOfDay)
{
    std::int64_t difference = floorMod(std::int64_t{serverSecondsOfDay} - localSecondsOfDay, kSecondsPerDay);
    if (difference > kSecondsPerDay / 2)
        difference -= kSecondsPerDay;

    Correction correction;
    correction.signText = difference < 0 ? "- " : "+ ";
    correction.seconds = static_cast<int>(difference < 0 ? -difference : difference);
    if (correction.seconds == 0) {
        correction.caption = "Clocks Match!";
        correction.trayTip = "Clock is synchronized!";
    } else {
        correction.caption = correction.signText + std::to_string(correction.seconds) + ".00 s";
        correction.trayTip = "Clock adjusted " + correction.caption;
    }
    return correction;
}
