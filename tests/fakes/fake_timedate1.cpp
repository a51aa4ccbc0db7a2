#include "fakes/fake_timedate1.h"

#include <utility>

namespace fakes {

void FakeTimeDate::ShiftClock(std::int64_t microseconds, platform::ClockShiftDone done)
{
    asked.push_back(microseconds);
    pending_.push_back(std::move(done));
}

bool FakeTimeDate::answerOne()
{
    if (pending_.empty())
        return false;
    const platform::ClockShiftDone done = std::move(pending_.front());
    pending_.erase(pending_.begin());
    done(answer);
    return true;
}

} // namespace fakes
