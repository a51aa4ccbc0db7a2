#pragma once
// The real file calls, with one step made to fail on demand: the step, the
// errno it fails with, and how many calls of that step succeed first. A
// failing write may first take part of the data, as a filling disk does.

#include "platform/file_system.h"

#include <string>
#include <vector>

namespace fakes {

class FakeFileSystem final : public platform::FileSystem {
public:
    enum class Step { None, OpenRead, OpenWrite, Read, Write, Fsync, Close, Fstat, Fchmod, Rename };

    Step failing = Step::None;
    int failWith = 0;             // errno of the failure
    int succeedFirst = 0;         // calls of the failing step that succeed before it fails
    std::size_t writePartly = 0;  // bytes a failing write takes before it fails
    std::vector<std::string> calls;   // "open-read", "write", "rename", ... in order

    int open(const std::string& path, int flags, mode_t mode) override;
    ssize_t read(int descriptor, void* buffer, std::size_t size) override;
    ssize_t write(int descriptor, const void* data, std::size_t size) override;
    int fsync(int descriptor) override;
    int close(int descriptor) override;
    int fstat(int descriptor, struct stat& status) override;
    int lstat(const std::string& path, struct stat& status) override;
    int fchmod(int descriptor, mode_t mode) override;
    int mkdir(const std::string& path, mode_t mode) override;
    int rename(const std::string& from, const std::string& to) override;
    int unlink(const std::string& path) override;
    std::string realPath(const std::string& path) override;

private:
    // True when this call of `step` is the one to fail.
    bool failsNow(Step step, const char* name);
};

} // namespace fakes
