#pragma once
// When the next repeated check runs. Pure: the caller gives the time, the
// last check's start, whether a check runs, whether the network is up and
// how long kiss-o'-death holds the server back.

#include <cstdint>
#include <optional>
#include <string>

namespace app {

inline constexpr int kRepeatHoursMin = 1;
inline constexpr int kRepeatHoursMax = 24;
// However it is asked, no server is polled more often than this.
inline constexpr std::int64_t kMinPollSpacingMs = 3'600'000;
// Long waits are cut into pieces of at most this, so a suspended or changed
// clock is noticed within it.
inline constexpr std::int64_t kRepeatWakeMs = 10 * 60'000;

// The setting's text: 1 to 24 hours, anything else (absent, 0, 30, "x") off.
int RepeatHoursFromText(const std::string& text);

struct RepeatState {
    int everyHours = 0;                                  // 0: off
    std::optional<std::int64_t> lastCheckStartUnixMs;    // any check, asked or repeated
    std::int64_t enabledSinceUnixMs = 0;                 // turned on (or the program started)
    bool checkRunning = false;
    bool networkUp = true;
    std::optional<std::int64_t> heldUntilUnixMs;         // kiss-o'-death hold of the server
};

struct RepeatDecision {
    enum Kind {
        Off,              // nothing to do until the setting changes
        RunNow,
        Wait,             // look again in waitMs
        WaitForNetwork,   // look again when the network comes back
    };
    Kind kind = Off;
    std::int64_t waitMs = 0;
    std::int64_t dueUnixMs = 0;   // when the next check is due (Wait, WaitForNetwork)
};

RepeatDecision DecideRepeat(const RepeatState& state, std::int64_t nowUnixMs);

} // namespace app
