#include "fakes/fake_system_time.h"

namespace fakes {

void FakeSystemTime::GetSystemTime(platform::SYSTEMTIME& time) const
{
    calls.push_back("get");
    time = now;
}

bool FakeSystemTime::SetSystemTime(const platform::SYSTEMTIME& time)
{
    calls.push_back("set");
    setRecords.push_back(time);
    return setSucceeds;
}

bool FakeSystemTime::StepSystemTime(std::int64_t nanoseconds)
{
    calls.push_back("step");
    steps.push_back(nanoseconds);
    return setSucceeds;
}

platform::PrivilegeResult FakeSystemTime::AdjustPrivilege(const std::string& name, bool enable)
{
    calls.push_back(std::string(enable ? "privilege on " : "privilege off ") + name);
    return privilegeResult;
}

} // namespace fakes
