#pragma once
// A time and date service that records each step asked of it and answers
// only when the test says so, the way a reply lands later from the bus.

#include "platform/timedate1.h"

#include <cstdint>
#include <vector>

namespace fakes {

class FakeTimeDate final : public platform::TimeDateService {
public:
    platform::ClockShiftResult answer{platform::ClockShiftOutcome::Shifted, {}};
    std::vector<std::int64_t> asked;   // the microseconds of each request, in order

    void ShiftClock(std::int64_t microseconds, platform::ClockShiftDone done) override;
    // Answers the oldest request still waiting with `answer`; false when none waits.
    bool answerOne();
    std::size_t waiting() const { return pending_.size(); }

private:
    std::vector<platform::ClockShiftDone> pending_;
};

} // namespace fakes
