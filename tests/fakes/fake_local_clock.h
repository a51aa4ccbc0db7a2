#pragma once
// A clock that stands still at the date-time value the test sets.

#include "platform/local_clock.h"

namespace fakes {

class FakeSystemClock final : public platform::SystemClock {
public:
    explicit FakeSystemClock(double localNow = 0) : now(localNow) {}
    double now;
    mutable int reads = 0;
    double LocalNow() const override;
};

} // namespace fakes
