#pragma once
// The clocks an NTP exchange reads: the real-time clock at nanosecond
// resolution for T1 and T4, the monotonic clock for the time between them (a
// step of the real-time clock during the exchange must not distort the delay),
// and random bits for the request's transmit field. Tests replace it.

#include <cstdint>

namespace platform {

class PreciseClock {
public:
    virtual ~PreciseClock() = default;
    // Nanoseconds since 1970-01-01 00:00 UTC (CLOCK_REALTIME).
    virtual std::int64_t RealtimeNanoseconds() const = 0;
    // Nanoseconds since an arbitrary start, never stepped (CLOCK_MONOTONIC).
    virtual std::int64_t MonotonicNanoseconds() const = 0;
    // 64 unpredictable bits (getrandom).
    virtual std::uint64_t RandomBits() = 0;
};

class LinuxPreciseClock final : public PreciseClock {
public:
    std::int64_t RealtimeNanoseconds() const override;
    std::int64_t MonotonicNanoseconds() const override;
    std::uint64_t RandomBits() override;
};

} // namespace platform
