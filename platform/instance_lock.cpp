#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <fstream>

namespace platform {
namespace {

std::string linkTarget(const std::string& path)
{
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::string fileNameOf(std::string path)
{
    // An upgraded program's old copy runs from a removed file.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() && path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
        path.resize(path.size() - kDeleted.size());
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// argv[0]: readable for other users' processes, where exe is not.
std::string firstArgument(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string argument;
    std::getline(file, argument, '\0');
    return argument;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

} // namespace

bool RunsThisProgram(pid_t pid)
{
    if (pid <= 0)
        return false;
    if (pid == ::getpid())
        return true;
    const std::string ours = fileNameOf(linkTarget("/proc/self/exe"));
    std::string theirs = linkTarget("/proc/" + std::to_string(pid) + "/exe");
    if (theirs.empty())
        theirs = firstArgument(pid);
    return !ours.empty() && fileNameOf(theirs) == ours;
}

InstanceLock::InstanceLock(std::string path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock()
{
    if (descriptor_ < 0)
        return;
    ::unlink(path_.c_str());
    ::close(descriptor_);
}

InstanceLock::Result InstanceLock::fail(const std::string& what, int error)
{
    error_ = what + " " + path_ + ": " + std::strerror(error);
    return Result::Failed;
}

InstanceLock::Result InstanceLock::tryLock()
{
    holder_ = 0;
    error_.clear();
    // A few rounds: another start may remove or replace the file between our steps.
    for (int round = 0; round < 4; ++round) {
        const int descriptor =
            ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
        if (descriptor < 0) {
            // Another user's file, a link, a FIFO: nobody of ours holds it.
            if (errno == EACCES || errno == EPERM || errno == ELOOP || errno == ENXIO || errno == EISDIR) {
                if (!breakLock())
                    return fail("cannot remove", errno);
                continue;
            }
            return fail("cannot make the lock file", errno);
        }
        struct stat opened {};
        if (::fstat(descriptor, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(descriptor);
            if (!breakLock())
                return fail("cannot remove", errno);
            continue;
        }
        if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error == EWOULDBLOCK) {
                char text[32] = {};
                const ssize_t got = ::pread(descriptor, text, sizeof text - 1, 0);
                long long pid = 0;
                if (got > 0)
                    std::from_chars(text, text + got, pid);
                holder_ = pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
            }
            ::close(descriptor);
            return error == EWOULDBLOCK ? Result::Held : fail("cannot lock", error);
        }
        // Removed by the copy that held it while we waited: that file guards nothing.
        struct stat now {};
        if (::lstat(path_.c_str(), &now) != 0 || !sameFile(now, opened)) {
            ::close(descriptor);
            continue;
        }
        const std::string number = std::to_string(::getpid()) + "\n";
        if (::ftruncate(descriptor, 0) != 0 ||
            ::pwrite(descriptor, number.data(), number.size(), 0) != static_cast<ssize_t>(number.size())) {
            const int error = errno;
            ::close(descriptor);
            return fail("cannot write", error);
        }
        descriptor_ = descriptor;
        return Result::Taken;
    }
    return fail("cannot settle", EAGAIN);
}

bool InstanceLock::breakLock()
{
    if (::unlink(path_.c_str()) == 0 || errno == ENOENT)
        return true;
    // A folder in its place.
    return errno == EISDIR && ::rmdir(path_.c_str()) == 0;
}

} // namespace platform
