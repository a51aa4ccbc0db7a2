#include "platform/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace platform {
namespace {

class Posix final : public FileSystem {
public:
    int open(const std::string& path, int flags, mode_t mode) override { return ::open(path.c_str(), flags, mode); }
    ssize_t read(int descriptor, void* buffer, std::size_t size) override { return ::read(descriptor, buffer, size); }
    ssize_t write(int descriptor, const void* data, std::size_t size) override
    {
        return ::write(descriptor, data, size);
    }
    int fsync(int descriptor) override { return ::fsync(descriptor); }
    int close(int descriptor) override { return ::close(descriptor); }
    int fstat(int descriptor, struct stat& status) override { return ::fstat(descriptor, &status); }
    int lstat(const std::string& path, struct stat& status) override { return ::lstat(path.c_str(), &status); }
    int fchmod(int descriptor, mode_t mode) override { return ::fchmod(descriptor, mode); }
    int mkdir(const std::string& path, mode_t mode) override { return ::mkdir(path.c_str(), mode); }
    int rename(const std::string& from, const std::string& to) override { return ::rename(from.c_str(), to.c_str()); }
    int unlink(const std::string& path) override { return ::unlink(path.c_str()); }
    std::string realPath(const std::string& path) override
    {
        char resolved[PATH_MAX];
        return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
    }
};

} // namespace

FileSystem& PosixFileSystem()
{
    static Posix posix;
    return posix;
}

} // namespace platform
