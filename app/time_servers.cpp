#include "app/time_servers.h"

#include <algorithm>
#include <cctype>

namespace app {
namespace {

// Host names are compared without regard to case, as DNS does.
bool SameHost(const std::string& a, const char* b)
{
    const std::string other(b);
    return std::equal(a.begin(), a.end(), other.begin(), other.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

bool Lists(std::span<const char* const> list, const std::string& host)
{
    return std::any_of(list.begin(), list.end(), [&host](const char* entry) { return SameHost(host, entry); });
}

} // namespace

std::span<const char* const> ServersFor(TimeProtocol protocol)
{
    if (protocol == TimeProtocol::Ntp)
        return kNtpServers;
    if (protocol == TimeProtocol::Nts)
        return kNtsServers;
    return kTimeServers;
}

bool IsPoolEntry(const std::string& server)
{
    return Lists(kPoolServers, server);
}

std::vector<std::string> ServersInBox(const std::string& text)
{
    std::vector<std::string> servers;
    std::string server;
    for (const char c : text + ' ') {
        if (c == ' ' || c == ',' || c == '\t') {
            if (!server.empty())
                servers.push_back(std::move(server));
            server.clear();
        } else {
            server += c;
        }
    }
    return servers;
}

std::string ServerAfterProtocolChange(const std::string& shown, TimeProtocol from, TimeProtocol to)
{
    if (from == to || !Lists(ServersFor(from), shown))
        return shown;
    return ServersFor(to).front();
}

} // namespace app
