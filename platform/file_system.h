#pragma once
// The few file calls the settings file makes, behind one small interface so
// that tests can make any of them fail. Each member behaves as the POSIX call
// of the same name: -1 (or a short count) on failure with the reason in errno.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace platform {

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual int open(const std::string& path, int flags, mode_t mode) = 0;
    virtual ssize_t read(int descriptor, void* buffer, std::size_t size) = 0;
    virtual ssize_t write(int descriptor, const void* data, std::size_t size) = 0;
    virtual int fsync(int descriptor) = 0;
    virtual int close(int descriptor) = 0;
    virtual int fstat(int descriptor, struct stat& status) = 0;
    virtual int lstat(const std::string& path, struct stat& status) = 0;
    virtual int fchmod(int descriptor, mode_t mode) = 0;
    virtual int mkdir(const std::string& path, mode_t mode) = 0;
    virtual int rename(const std::string& from, const std::string& to) = 0;
    virtual int unlink(const std::string& path) = 0;
    // The path with every symbolic link resolved; empty (errno set) when that fails.
    virtual std::string realPath(const std::string& path) = 0;
};

// The operating system's own calls.
FileSystem& PosixFileSystem();

} // namespace platform
