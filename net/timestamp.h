#pragma once
// RFC 868 timestamps: four bytes, big-endian, seconds since 1900-01-01 00:00 UTC.
// Pure arithmetic, shared by the window and the terminal program.

#include <array>
#include <cstdint>
#include <string>

// Seconds from 1900-01-01 to 1970-01-01.
constexpr std::int64_t kSecondsFrom1900To1970 = 2208988800;
// A 32-bit count wraps on 2036-02-07 06:28:16 UTC.
constexpr std::int64_t kTimestampEra = std::int64_t{1} << 32;

using TimestampBytes = std::array<std::uint8_t, 4>;

// Seconds since 1970-01-01 00:00 UTC. Counts below 2^31 (which would be
// 1900–1968) are read as after the 2036 wrap.
std::int64_t UnixSecondsFromTimestamp(const TimestampBytes& bytes);

struct ServerTimeOfDay {
    int svrHour = 0;
    int svrMin = 0;
    int svrSec = 0;
    int secondsOfDay() const { return svrHour * 3600 + svrMin * 60 + svrSec; }
};

// The server's time of day in local time. biasMinutes: UTC = local + bias,
// without the daylight bias; daylightBiasMinutes: the zone's DaylightBias while
// daylight time is in force (e.g. -60, -30 or -120), else 0.
ServerTimeOfDay ServerLocalTime(const TimestampBytes& bytes, int biasMinutes, int daylightBiasMinutes);

// The difference between the server's and the PC's time of day, as shown.
struct Correction {
    std::string signText;   // "+ " when the PC is behind or equal, "- " when ahead
    int seconds = 0;        // N, never negative
    std::string caption;    // "+ 5.00 s", "- 5.00 s" or "Clocks Match!"
    std::string trayTip;    // "Clock adjusted + 5.00 s" or "Clock is synchronized!"
    // Signed shift to apply to the PC's clock, in seconds.
    int shift() const { return signText == "- " ? -seconds : seconds; }
};

// Takes the shorter way round midnight, so the difference is at most twelve
// hours either way: 23:59:59 against 00:00:01 is two seconds, not a day.
Correction CorrectionBetween(int serverSecondsOfDay, int localSecondsOfDay);
