#pragma once
// Datagrams with the kernel's note of when they arrived, so the time a reply
// waited for the event loop is not counted as travel.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Asks the kernel to stamp each datagram's arrival (SO_TIMESTAMPNS); false
// when it will not.
bool StampArrivals(int socket);

struct ArrivedDatagram {
    int error = 0;   // errno of a failed read (EAGAIN: nothing waits)
    std::string bytes;
    std::optional<std::int64_t> arrivalRealtimeNs;
};

// One datagram, read without blocking; longer ones are cut to `room` bytes.
ArrivedDatagram ReceiveDatagram(int socket, std::size_t room);

} // namespace platform
