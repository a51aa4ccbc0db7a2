#pragma once
// A relative change of the PC's clock, and how it is made without the time
// and date service.

#include <cstdint>

namespace platform {

struct ClockStep {
    std::int64_t nanoseconds = 0;
    // The Time protocol's whole seconds are set as a date-time record, as they
    // always were; a measured offset is one relative step in the kernel.
    bool asRecord = false;
};

} // namespace platform
