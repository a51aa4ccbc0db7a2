#pragma once
// Waits that pass only when the test says so.

#include "check/scheduler.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace fakes {

class FakeScheduler : public check::Scheduler {
public:
    void after(int milliseconds, std::function<void()> task) override
    {
        waits.push_back(milliseconds);
        pending.push_back({std::move(task), generation_});
    }
    void cancelAll() override { ++generation_; }

    // Runs the waits asked for so far, in order; false when there were none.
    bool runPending()
    {
        std::vector<Task> due;
        due.swap(pending);
        bool ran = false;
        for (Task& task : due)
            if (task.generation == generation_) {
                task.run();
                ran = true;
            }
        return ran;
    }

    std::vector<int> waits;   // every wait asked for, in milliseconds

private:
    struct Task {
        std::function<void()> run;
        std::uint64_t generation;
    };
    std::vector<Task> pending;
    std::uint64_t generation_ = 0;
};

} // namespace fakes
