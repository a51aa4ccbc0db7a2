#include "platform/clock_service.h"

#include "platform/system_time.h"
#include "platform/timedate1.h"

namespace platform {
namespace {
constexpr std::int64_t kNanosecondsPerMicrosecond = 1000;
constexpr std::int64_t kNanosecondsPerMillisecond = 1'000'000;

// The time and date service takes microseconds: the nearest, halves away from zero.
std::int64_t MicrosecondsOf(std::int64_t nanoseconds)
{
    const std::int64_t half = kNanosecondsPerMicrosecond / 2;
    return nanoseconds >= 0 ? (nanoseconds + half) / kNanosecondsPerMicrosecond
                            : -((-nanoseconds + half) / kNanosecondsPerMicrosecond);
}

ClockStepOutcome OutcomeOfShift(ClockShiftOutcome outcome)
{
    switch (outcome) {
    case ClockShiftOutcome::Shifted:
        return ClockStepOutcome::Stepped;
    case ClockShiftOutcome::KeptByTimeService:
        return ClockStepOutcome::KeptByTimeService;
    case ClockShiftOutcome::NotAuthorised:
        return ClockStepOutcome::NotAuthorised;
    case ClockShiftOutcome::AutomaticSyncOn:
        return ClockStepOutcome::AutomaticSyncOn;
    case ClockShiftOutcome::NoService:
    case ClockShiftOutcome::Failed:
        break;
    }
    return ClockStepOutcome::Failed;
}
} // namespace

SystemClockService::SystemClockService(SystemTimeService& systemTime, TimeDateService* timeDate,
                                       std::function<void()> privilegeCallFailed)
    : systemTime_(systemTime), timeDate_(timeDate), privilegeCallFailed_(std::move(privilegeCallFailed))
{
}

void SystemClockService::step(const ClockStep& step, ClockStepDone done)
{
    if (!timeDate_) {
        stepWithoutTimeDate(step, done);
        return;
    }
    if (pending_) {
        done({ClockStepOutcome::StillWaiting, {}});
        return;
    }
    pending_ = true;
    const std::weak_ptr<bool> alive = alive_;
    timeDate_->ShiftClock(MicrosecondsOf(step.nanoseconds), [this, alive, step, done](const ClockShiftResult& result) {
        if (alive.expired())
            return;
        pending_ = false;
        if (result.outcome == ClockShiftOutcome::NoService)
            stepWithoutTimeDate(step, done);
        else
            done({OutcomeOfShift(result.outcome), result.detail});
    });
}

// Without the time and date service: a clock the kernel reports disciplined is
// left to whatever disciplines it; otherwise the step is made with the right.
void SystemClockService::stepWithoutTimeDate(const ClockStep& step, const ClockStepDone& done)
{
    if (systemTime_.KernelClockSynchronised())
        done({ClockStepOutcome::KeptByTimeService, {}});
    else
        stepWithRight(step, done);
}

// A record shifts the whole UTC date and time by the correction, so that the
// date rolls over with a correction across midnight; a step does so in the
// kernel, with no time passing between reading the clock and setting it.
void SystemClockService::stepWithRight(const ClockStep& step, const ClockStepDone& done)
{
    SYSTEMTIME record;
    if (step.asRecord) {
        SYSTEMTIME now;
        systemTime_.GetSystemTime(now);
        std::int64_t milliseconds = 0;
        record = now;
        if (UnixMillisecondsFromSystemTime(now, milliseconds))
            record = SystemTimeFromUnixMilliseconds(milliseconds + step.nanoseconds / kNanosecondsPerMillisecond);
    }
    // Raised for the one call only, and lowered again whatever happens; the
    // outcome is told while the right is still up, so its line comes first.
    adjustPrivilege(true);
    const bool set = step.asRecord ? systemTime_.SetSystemTime(record) : systemTime_.StepSystemTime(step.nanoseconds);
    done({set ? ClockStepOutcome::Stepped : ClockStepOutcome::Failed, {}});
    adjustPrivilege(false);
}

void SystemClockService::adjustPrivilege(bool on)
{
    if (systemTime_.AdjustPrivilege(SE_SYSTEMTIME_NAME, on) == PrivilegeResult::Failed && privilegeCallFailed_)
        privilegeCallFailed_();
}

} // namespace platform
