#pragma once
// A system clock that records what is asked of it, in order, and never
// touches the real clock.

#include "platform/system_time.h"

#include <cstdint>
#include <string>
#include <vector>

namespace fakes {

class FakeSystemTime final : public platform::SystemTimeService {
public:
    platform::SYSTEMTIME now;   // what GetSystemTime answers
    bool setSucceeds = true;
    platform::PrivilegeResult privilegeResult = platform::PrivilegeResult::Adjusted;
    bool kernelSynchronised = false;   // what KernelClockSynchronised answers

    // "get", "set", "step", "privilege on <name>", "privilege off <name>".
    mutable std::vector<std::string> calls;
    std::vector<platform::SYSTEMTIME> setRecords;
    std::vector<std::int64_t> steps;   // nanoseconds, per StepSystemTime; setSucceeds answers it too

    void GetSystemTime(platform::SYSTEMTIME& time) const override;
    bool SetSystemTime(const platform::SYSTEMTIME& time) override;
    bool StepSystemTime(std::int64_t nanoseconds) override;
    platform::PrivilegeResult AdjustPrivilege(const std::string& name, bool enable) override;
    bool KernelClockSynchronised() const override { return kernelSynchronised; }
};

} // namespace fakes
