#pragma once
// One check as the history keeps it: what was asked, what came back and what
// was done to the clock. Written by the window and by the terminal alike.

#include <cstdint>
#include <optional>
#include <string>

namespace history {

enum class ClockAction {
    Nothing,          // not asked to set the clock, or no answer to set it by
    TimeService,      // a time service keeps the clock: left to it
    Stepped,          // stepped by stepSeconds
    Refused,          // a step was wanted and refused; clockDetail says why
    Pending,          // a step was asked for and its answer is still to come
};

struct CheckRecord {
    std::int64_t id = 0;                 // the store's; 0 before it is stored
    std::int64_t timeUnixMs = 0;         // UTC, when the check ended
    std::string server;                  // as the user typed it
    std::string address;                 // the address asked, numeric
    std::string protocol;                // "rfc868", "ntp" or "nts"
    bool completed = false;              // false: failed
    std::string failureReason;           // a failed check's reason
    std::optional<double> offsetSeconds;       // server minus PC
    std::optional<double> errorBoundSeconds;   // half-width of the offset's interval
    std::optional<double> delaySeconds;
    std::optional<int> stratum;
    bool authenticated = false;
    ClockAction clockAction = ClockAction::Nothing;
    std::optional<double> stepSeconds;   // Stepped: by how much
    std::string clockDetail;             // Refused: why
};

// The action's name in the database and in `tikora-cli history`: "nothing",
// "time_service", "stepped", "refused", "pending".
const char* ClockActionName(ClockAction action);
std::optional<ClockAction> ClockActionFromName(const std::string& name);

} // namespace history
