#pragma once
// The scheduler on the Qt event loop: each wait a single-shot timer that dies
// with cancelAll() or with the scheduler.

#include "check/scheduler.h"

#include <QObject>

#include <cstdint>

namespace check {

class TimerScheduler final : public Scheduler {
public:
    void after(int milliseconds, std::function<void()> task) override;
    void cancelAll() override { ++generation_; }

private:
    QObject context_;                // timers die with the scheduler
    std::uint64_t generation_ = 0;   // timers of an earlier generation were cancelled
};

} // namespace check
