#include "history/check_record.h"

#include <array>
#include <utility>

namespace history {
namespace {

constexpr std::array<std::pair<ClockAction, const char*>, 5> kActionNames{{
    {ClockAction::Nothing, "nothing"},
    {ClockAction::TimeService, "time_service"},
    {ClockAction::Stepped, "stepped"},
    {ClockAction::Refused, "refused"},
    {ClockAction::Pending, "pending"},
}};

} // namespace

const char* ClockActionName(ClockAction action)
{
    for (const auto& [known, name] : kActionNames)
        if (known == action)
            return name;
    return "nothing";
}

std::optional<ClockAction> ClockActionFromName(const std::string& name)
{
    for (const auto& [action, known] : kActionNames)
        if (name == known)
            return action;
    return std::nullopt;
}

} // namespace history
