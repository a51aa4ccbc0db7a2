#pragma once
// The system clock as a UTC date-time record (GetSystemTime / SetSystemTime)
// and the right to set it. The Windows privilege "SeSystemtimePrivilege" is the
// capability CAP_SYS_TIME: installation grants it as permitted only, and it is
// raised into the effective set just for the one call that sets the clock.

#include "platform/timezone.h"

#include <sys/timex.h>

#include <cstdint>
#include <string>

namespace platform {

inline constexpr char SE_SYSTEMTIME_NAME[] = "SeSystemtimePrivilege";

enum class PrivilegeResult {
    Adjusted,         // switched, or not held at all (Windows: "not all assigned", still success)
    NoSuchPrivilege,  // the name is not a privilege this system knows
    Failed,           // the process's rights could not be read or changed
};

// The clock seam: the real clock below, a recording fake in tests.
class SystemTimeService {
public:
    virtual ~SystemTimeService() = default;
    virtual void GetSystemTime(SYSTEMTIME& time) const = 0;
    // False when the clock was not changed (no right, or a record out of range).
    virtual bool SetSystemTime(const SYSTEMTIME& time) = 0;
    // Moves the clock by a signed number of nanoseconds in one kernel call, so
    // no time passes between reading the clock and setting it. False when the
    // clock was not changed (no right). Raise the privilege around it as for
    // SetSystemTime.
    virtual bool StepSystemTime(std::int64_t nanoseconds) = 0;
    virtual PrivilegeResult AdjustPrivilege(const std::string& name, bool enable) = 0;
    // True when the kernel reports its clock synchronised, i.e. a time service
    // disciplines it. Only read, never changed.
    virtual bool KernelClockSynchronised() const = 0;
};

// clock_gettime / clock_settime on CLOCK_REALTIME, the capability over libcap,
// the synchronisation state from ntp_adjtime with no modes (a pure read).
class LinuxSystemTime final : public SystemTimeService {
public:
    void GetSystemTime(SYSTEMTIME& time) const override;
    bool SetSystemTime(const SYSTEMTIME& time) override;
    // clock_adjtime(CLOCK_REALTIME) with ADJ_SETOFFSET | ADJ_NANO.
    bool StepSystemTime(std::int64_t nanoseconds) override;
    PrivilegeResult AdjustPrivilege(const std::string& name, bool enable) override;
    bool KernelClockSynchronised() const override;
};

// The request StepSystemTime hands the kernel: the offset as whole seconds
// (rounded down) and a non-negative count of nanoseconds, as ADJ_NANO wants.
timex RelativeStepRequest(std::int64_t nanoseconds);

// The kernel's answer to a read of its clock state: synchronised when the call
// succeeded, said nothing of an error, and STA_UNSYNC is clear.
bool KernelStateIsSynchronised(int callResult, int status);

// The record of a moment given in milliseconds since 1970-01-01 00:00 UTC.
SYSTEMTIME SystemTimeFromUnixMilliseconds(std::int64_t milliseconds);
// Milliseconds since 1970 of a record; false when its fields are no valid date and time.
bool UnixMillisecondsFromSystemTime(const SYSTEMTIME& time, std::int64_t& milliseconds);

} // namespace platform
