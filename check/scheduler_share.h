#pragma once
// One engine's share of a scheduler that several engines use: cancelAll()
// calls off this share's waits only, since an engine cancels its own on every
// start and stop and must not call off another source's sample or retry.

#include "check/scheduler.h"

#include <cstdint>
#include <memory>

namespace check {

class SchedulerShare final : public Scheduler {
public:
    explicit SchedulerShare(Scheduler& shared) : shared_(shared) {}
    SchedulerShare(const SchedulerShare&) = delete;
    SchedulerShare& operator=(const SchedulerShare&) = delete;

    void after(int milliseconds, std::function<void()> task) override
    {
        // The wait may outlive the share: it then finds the generation gone.
        shared_.after(milliseconds, [generation = std::weak_ptr<std::uint64_t>(generation_), asked = *generation_,
                                     task = std::move(task)] {
            const std::shared_ptr<std::uint64_t> now = generation.lock();
            if (now && *now == asked)
                task();
        });
    }
    void cancelAll() override { ++*generation_; }

private:
    Scheduler& shared_;
    std::shared_ptr<std::uint64_t> generation_ = std::make_shared<std::uint64_t>(0);
};

} // namespace check
