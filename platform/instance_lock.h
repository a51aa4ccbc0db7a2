#pragma once
// The one-copy lock: a file held with flock(2). The kernel lets go of it when
// its holder ends however it ends, so a copy killed at any moment (even before
// it wrote its number into the file) leaves nothing that blocks a start; the
// number in the file only names the holder in a report.

#include <sys/types.h>

#include <string>

namespace platform {

// Whether `pid` runs the same program as this process (its executable, or,
// where that cannot be read, its argv[0], by file name).
bool RunsThisProgram(pid_t pid);

class InstanceLock {
public:
    enum class Result {
        Taken,    // this process holds the lock now
        Held,     // a live process holds it; holder() says who, if anyone can tell
        Failed,   // no lock can be made here; error() says why
    };

    explicit InstanceLock(std::string path);
    // Removes the file, then lets go: a start that opened the old file sees it is gone.
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    Result tryLock();
    // Removes whatever is at the path (a file another process holds without
    // being one of us); the next tryLock makes a new one.
    bool breakLock();

    // The number written in the file a Held result found; 0 when it holds none.
    pid_t holder() const { return holder_; }
    const std::string& error() const { return error_; }

private:
    Result fail(const std::string& what, int error);

    std::string path_;
    int descriptor_ = -1;
    pid_t holder_ = 0;
    std::string error_;
};

} // namespace platform
