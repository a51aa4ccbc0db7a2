#include "fakes/fake_kiss_store.h"

namespace fakes {

std::optional<std::string> FakeKissStore::heldBack(const std::string& host, const std::string& port, std::int64_t)
{
    asked.push_back(host + ' ' + port);
    const auto found = held.find(host + ' ' + port);
    return found == held.end() ? std::nullopt : std::optional<std::string>(found->second);
}

void FakeKissStore::remember(const std::string& host, const std::string& port, const std::string& code,
                             std::int64_t nowUnixSeconds)
{
    remembered.push_back({host, port, code, nowUnixSeconds});
    held[host + ' ' + port] = host + " refused access (kiss-o'-death " + code + ")";
}

} // namespace fakes
