#pragma once
// Placeholder until the kiss-o'-death store lands.
#include <cstdint>
#include <optional>
#include <string>
namespace check {
class KissStore {
public:
    virtual ~KissStore() = default;
    virtual std::optional<std::string> heldBack(const std::string& host, const std::string& port,
                                                std::int64_t nowUnixSeconds) = 0;
    virtual void remember(const std::string& host, const std::string& port, const std::string& code,
                          std::int64_t nowUnixSeconds) = 0;
};
} // namespace check
