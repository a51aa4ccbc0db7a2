#include "check/timer_scheduler.h"

#include <QTimer>

namespace check {

void TimerScheduler::after(int milliseconds, std::function<void()> task)
{
    // A coarse timer may fire up to 5% early; the engine's waits are minimums.
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &context_,
                       [this, generation = generation_, task = std::move(task)] {
                           if (generation == generation_)
                               task();
                       });
}

} // namespace check
