#include "fakes/fake_file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace fakes {
namespace {
platform::FileSystem& real() { return platform::PosixFileSystem(); }
} // namespace

bool FakeFileSystem::failsNow(Step step, const char* name)
{
    calls.emplace_back(name);
    if (step != failing)
        return false;
    if (succeedFirst > 0) {
        --succeedFirst;
        return false;
    }
    errno = failWith;
    return true;
}

int FakeFileSystem::open(const std::string& path, int flags, mode_t mode)
{
    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
    if (failsNow(writing ? Step::OpenWrite : Step::OpenRead, writing ? "open-write" : "open-read"))
        return -1;
    return real().open(path, flags, mode);
}

ssize_t FakeFileSystem::read(int descriptor, void* buffer, std::size_t size)
{
    return failsNow(Step::Read, "read") ? -1 : real().read(descriptor, buffer, size);
}

ssize_t FakeFileSystem::write(int descriptor, const void* data, std::size_t size)
{
    if (!failsNow(Step::Write, "write"))
        return real().write(descriptor, data, size);
    if (writePartly == 0)
        return -1;
    // The disk takes what fits; the next write gets the error.
    const std::size_t part = std::min(writePartly, size);
    writePartly = 0;
    succeedFirst = 0;
    return real().write(descriptor, data, part);
}

int FakeFileSystem::fsync(int descriptor) { return failsNow(Step::Fsync, "fsync") ? -1 : real().fsync(descriptor); }

int FakeFileSystem::close(int descriptor)
{
    // A failing close still releases the descriptor, as Linux does.
    const bool fails = failsNow(Step::Close, "close");
    const int result = real().close(descriptor);
    if (fails)
        errno = failWith;
    return fails ? -1 : result;
}

int FakeFileSystem::fstat(int descriptor, struct stat& status)
{
    return failsNow(Step::Fstat, "fstat") ? -1 : real().fstat(descriptor, status);
}

int FakeFileSystem::lstat(const std::string& path, struct stat& status) { return real().lstat(path, status); }

int FakeFileSystem::fchmod(int descriptor, mode_t mode)
{
    return failsNow(Step::Fchmod, "fchmod") ? -1 : real().fchmod(descriptor, mode);
}

int FakeFileSystem::mkdir(const std::string& path, mode_t mode) { return real().mkdir(path, mode); }

int FakeFileSystem::rename(const std::string& from, const std::string& to)
{
    return failsNow(Step::Rename, "rename") ? -1 : real().rename(from, to);
}

int FakeFileSystem::unlink(const std::string& path)
{
    calls.emplace_back("unlink");
    return real().unlink(path);
}

std::string FakeFileSystem::realPath(const std::string& path) { return real().realPath(path); }

} // namespace fakes
