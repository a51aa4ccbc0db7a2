#pragma once
// Lays out HOSTENT and SERVENT inside a caller's buffer, every pointer of the
// entry pointing into that same buffer.

#include <cstdint>
#include <string>
#include <vector>

namespace platform::ws::detail {

struct HostRecord {
    std::string name;
    std::vector<std::string> aliases;
    std::vector<std::uint32_t> addresses;   // network order
};

struct ServiceRecord {
    std::string name;
    std::vector<std::string> aliases;
    std::uint16_t portNetworkOrder = 0;
    std::string protocol;
};

// fits = false leaves the buffer untouched; length is then the size needed.
struct EntryLayout {
    bool fits = false;
    int length = 0;
};

EntryLayout writeHostEntry(const HostRecord& record, char* buffer, int bufferLength);
EntryLayout writeServiceEntry(const ServiceRecord& record, char* buffer, int bufferLength);

} // namespace platform::ws::detail
