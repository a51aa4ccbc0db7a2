#pragma once
// "Step the clock by this offset": one call, and the order of the ways to do
// it behind it. A time service that keeps the clock is left to it; otherwise
// the system's time and date service makes the step (it may ask the user
// through polkit, so its answer comes later); without that service the step
// is made with the right to set the clock, raised for that one call.

#include "platform/clock_step.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

class SystemTimeService;
class TimeDateService;

enum class ClockStepOutcome {
    Stepped,
    KeptByTimeService,   // a time service disciplines the clock: not changed
    NotAuthorised,       // polkit refused, or the password dialog was dismissed
    AutomaticSyncOn,     // the time and date service refused: automatic synchronisation is on
    Failed,              // any other refusal or error
    StillWaiting,        // an earlier step still awaits the time and date service's answer
};

struct ClockStepReport {
    ClockStepOutcome outcome = ClockStepOutcome::Failed;
    std::string detail;   // what the service said of a failure; may be empty
};

using ClockStepDone = std::function<void(const ClockStepReport&)>;

class ClockService {
public:
    virtual ~ClockService() = default;
    // `done` is called once: before step() returns (maybe with work still to
    // do after it), or later when a service answers; never after the clock
    // service is gone.
    virtual void step(const ClockStep& step, ClockStepDone done) = 0;
};

class SystemClockService final : public ClockService {
public:
    // `timeDate` may be null: no such service. `privilegeCallFailed` is told
    // each time raising or lowering the right fails (the step is still tried).
    SystemClockService(SystemTimeService& systemTime, TimeDateService* timeDate,
                       std::function<void()> privilegeCallFailed);
    void step(const ClockStep& step, ClockStepDone done) override;

private:
    void stepWithoutTimeDate(const ClockStep& step, const ClockStepDone& done);
    void stepWithRight(const ClockStep& step, const ClockStepDone& done);
    void adjustPrivilege(bool on);

    SystemTimeService& systemTime_;
    TimeDateService* timeDate_;
    std::function<void()> privilegeCallFailed_;
    bool pending_ = false;   // two relative steps in flight would both be made
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace platform
