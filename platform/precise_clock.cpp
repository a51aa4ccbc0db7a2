#include "platform/precise_clock.h"

#include <sys/random.h>

#include <cerrno>
#include <ctime>
#include <stdexcept>

namespace platform {
namespace {

std::int64_t readClock(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

} // namespace

std::int64_t LinuxPreciseClock::RealtimeNanoseconds() const
{
    return readClock(CLOCK_REALTIME);
}

std::int64_t LinuxPreciseClock::MonotonicNanoseconds() const
{
    return readClock(CLOCK_MONOTONIC);
}

std::uint64_t LinuxPreciseClock::RandomBits()
{
    std::uint64_t bits = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&bits);
    std::size_t filled = 0;
    // Eight bytes never come short from a seeded pool, but a signal can
    // interrupt the call before it starts.
    for (int tries = 0; filled < sizeof bits && tries < 8; ++tries) {
        const ssize_t got = ::getrandom(bytes + filled, sizeof bits - filled, 0);
        if (got > 0)
            filled += static_cast<std::size_t>(got);
        else if (got < 0 && errno != EINTR)
            break;
    }
    if (filled < sizeof bits)
        throw std::runtime_error("no random bits for the NTP request");
    return bits;
}

} // namespace platform
