#include "platform/winsock_entries.h"

#include "platform/winsock.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace platform::ws::detail {
namespace {

// Places pieces one after another from the start of the buffer, each aligned
// for its type. Run once to measure, then once more to write when it fits.
class BufferPlacer {
public:
    BufferPlacer(char* buffer, std::size_t capacity, bool write)
        : buffer_(buffer), capacity_(capacity), write_(write) {}

    // The place of `size` bytes aligned to `alignment` (nullptr while measuring).
    char* take(std::size_t size, std::size_t alignment)
    {
        const auto base = reinterpret_cast<std::uintptr_t>(buffer_);
        std::size_t offset = used_;
        const std::size_t misalignment = (base + offset) % alignment;
        if (misalignment != 0)
            offset += alignment - misalignment;
        used_ = offset + size;
        return write_ ? buffer_ + offset : nullptr;
    }

    char* copyText(const std::string& text)
    {
        char* place = take(text.size() + 1, 1);
        if (place)
            std::memcpy(place, text.c_str(), text.size() + 1);
        return place;
    }

    // A NULL-terminated list of the texts, copied after the list.
    char** textList(const std::vector<std::string>& texts)
    {
        char** list = reinterpret_cast<char**>(take((texts.size() + 1) * sizeof(char*), alignof(char*)));
        for (std::size_t i = 0; i < texts.size(); ++i) {
            char* text = copyText(texts[i]);
            if (list)
                list[i] = text;
        }
        if (list)
            list[texts.size()] = nullptr;
        return list;
    }

    std::size_t used() const { return used_; }
    bool fits() const { return used_ <= capacity_; }

private:
    char* buffer_;
    std::size_t capacity_;
    bool write_;
    std::size_t used_ = 0;
};

template <typename Fill>
EntryLayout layOut(char* buffer, int bufferLength, Fill fill)
{
    const std::size_t capacity = bufferLength > 0 ? static_cast<std::size_t>(bufferLength) : 0;
    BufferPlacer measure(buffer, capacity, false);
    fill(measure);
    // The needed length travels in 16 bits of the completion message.
    const int needed = static_cast<int>(std::min<std::size_t>(measure.used(), 0xFFFF));
    if (!measure.fits() || buffer == nullptr)
        return {false, needed};
    BufferPlacer writer(buffer, capacity, true);
    fill(writer);
    return {true, static_cast<int>(writer.used())};
}

} // namespace

EntryLayout writeHostEntry(const HostRecord& record, char* buffer, int bufferLength)
{
    return layOut(buffer, bufferLength, [&record](BufferPlacer& place) {
        char* entryPlace = place.take(sizeof(HOSTENT), alignof(HOSTENT));
        HOSTENT entry{};
        entry.h_name = place.copyText(record.name);
        entry.h_aliases = place.textList(record.aliases);
        entry.h_addrtype = AF_INET_;
        entry.h_length = sizeof(std::uint32_t);
        const std::size_t count = record.addresses.size();
        entry.h_addr_list = reinterpret_cast<char**>(place.take((count + 1) * sizeof(char*), alignof(char*)));
        for (std::size_t i = 0; i < count; ++i) {
            char* address = place.take(sizeof(std::uint32_t), 1);
            if (address) {
                std::memcpy(address, &record.addresses[i], sizeof(std::uint32_t));
                entry.h_addr_list[i] = address;
            }
        }
        if (entry.h_addr_list)
            entry.h_addr_list[count] = nullptr;
        if (entryPlace)
            std::memcpy(entryPlace, &entry, sizeof entry);
    });
}

EntryLayout writeServiceEntry(const ServiceRecord& record, char* buffer, int bufferLength)
{
    return layOut(buffer, bufferLength, [&record](BufferPlacer& place) {
        char* entryPlace = place.take(sizeof(SERVENT), alignof(SERVENT));
        SERVENT entry{};
        entry.s_name = place.copyText(record.name);
        entry.s_aliases = place.textList(record.aliases);
        entry.s_port = static_cast<std::int16_t>(record.portNetworkOrder);
        entry.s_proto = place.copyText(record.protocol);
        if (entryPlace)
            std::memcpy(entryPlace, &entry, sizeof entry);
    });
}

} // namespace platform::ws::detail
