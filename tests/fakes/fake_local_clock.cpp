#include "fakes/fake_local_clock.h"

namespace fakes {

double FakeSystemClock::LocalNow() const
{
    ++reads;
    return now;
}

} // namespace fakes
