#include "net/protocol_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace {

struct ProtocolEntry {
    std::string_view name;
    int number;
};

constexpr std::array<ProtocolEntry, 9> kProtocols{{
    {"IP", 0}, {"ICMP", 1}, {"GGP", 2}, {"TCP", 6}, {"PUP", 12},
    {"UDP", 17}, {"IDP", 22}, {"ND", 77}, {"RAW", 255},
}};

} // namespace

int ProtocolNumberOf(const std::string& name)
{
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const ProtocolEntry& entry : kProtocols) {
        if (entry.name == upper)
            return entry.number;
    }
    return -1;
}

std::string ProtocolNameOf(int number)
{
    for (const ProtocolEntry& entry : kProtocols) {
        if (entry.number == number)
            return std::string(entry.name);
    }
    return {};
}
