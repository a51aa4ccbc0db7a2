#pragma once
// Waits the engine makes on its own (the spacing between samples, the pause
// before a retry), behind a seam so its tests need no real seconds.

#include <functional>

namespace check {

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Runs `task` once after `milliseconds`, unless cancelAll() comes first.
    virtual void after(int milliseconds, std::function<void()> task) = 0;
    virtual void cancelAll() = 0;
};

} // namespace check
