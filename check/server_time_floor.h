#pragma once
// Placeholder until the build-date floor lands.
#include <cstdint>
#include <optional>
#include <string>
namespace check {
inline std::optional<std::string> RefusalOfServerTime(std::int64_t serverUnixSeconds, std::int64_t buildUnixSeconds)
{
    if (serverUnixSeconds >= buildUnixSeconds)
        return std::nullopt;
    return "the server's time is before this program was built: refused";
}
} // namespace check
