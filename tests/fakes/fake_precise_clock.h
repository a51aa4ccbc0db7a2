#pragma once
// Clocks that move only when told, and transmit bits that are known.

#include "platform/precise_clock.h"

#include <cstdint>

namespace fakes {

class FakePreciseClock : public platform::PreciseClock {
public:
    static constexpr std::int64_t kStart = 1'780'000'000'000'000'000;   // 2026, far from any era's edge

    std::int64_t RealtimeNanoseconds() const override { return realtime; }
    std::int64_t MonotonicNanoseconds() const override { return monotonic; }
    std::uint64_t RandomBits() override { return ++bits * 0x9E3779B97F4A7C15ull; }

    // Both clocks move on together, as they do unless the real-time one is stepped.
    void advance(std::int64_t nanoseconds)
    {
        realtime += nanoseconds;
        monotonic += nanoseconds;
    }

    std::int64_t realtime = kStart;
    std::int64_t monotonic = 5'000'000'000;
    std::uint64_t bits = 0;
};

} // namespace fakes
