#include "platform/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <string_view>
#include <vector>

namespace platform {
namespace {

std::string reasonOf(int error) { return std::strerror(error); }

std::string directoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Every missing directory on the way; failures show up as the reason the
// temporary file cannot be created, which names the real cause.
void makeDirectories(FileSystem& files, const std::string& directory)
{
    for (std::size_t at = directory.find('/', 1); ; at = directory.find('/', at + 1)) {
        files.mkdir(directory.substr(0, at), 0700);
        if (at == std::string::npos)
            break;
    }
}

// A new hidden file beside the target; O_EXCL so two writers never share one.
int createTemporary(FileSystem& files, const std::string& path, std::string& temporary)
{
    static std::atomic<unsigned> counter{0};
    const std::string stem = directoryOf(path) + "/." + baseNameOf(path) + "." + std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = stem + std::to_string(counter++) + ".tmp";
        const int descriptor = files.open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST)
            return descriptor;
    }
    return -1;
}

bool writeAll(FileSystem& files, int descriptor, const std::string& content)
{
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t written = files.write(descriptor, content.data() + done, content.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;   // no progress and no reason: the device took nothing
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// Makes the rename itself survive a power cut. The file is already replaced
// at this point, so a directory that cannot be synced is not a failed write.
void syncDirectory(FileSystem& files, const std::string& directory)
{
    const int descriptor = files.open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (descriptor < 0)
        return;
    files.fsync(descriptor);
    files.close(descriptor);
}

} // namespace

SmallFile ReadSmallFile(FileSystem& files, const std::string& path, std::size_t maxBytes)
{
    SmallFile file;
    const int descriptor = files.open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
    if (descriptor < 0) {
        file.exists = errno != ENOENT && errno != ENOTDIR;
        if (file.exists)
            file.error = reasonOf(errno);
        return file;
    }
    file.exists = true;
    struct stat status {};
    if (files.fstat(descriptor, status) != 0) {
        file.error = reasonOf(errno);
    } else if (S_ISDIR(status.st_mode)) {
        file.error = reasonOf(EISDIR);
    } else if (!S_ISREG(status.st_mode)) {
        file.error = "not a regular file";
    } else if (static_cast<std::size_t>(status.st_size) > maxBytes) {
        file.error = "larger than " + std::to_string(maxBytes) + " bytes";
    } else {
        file.mode = status.st_mode & 07777;
        file.device = status.st_dev;
        file.inode = status.st_ino;
        // Read to the end, not to st_size: the file may be growing; one byte
        // past the cap is enough to know it is too big.
        char buffer[16384];
        while (file.content.size() <= maxBytes) {
            const ssize_t got = files.read(descriptor, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                file.error = reasonOf(errno);
                break;
            }
            if (got == 0)
                break;
            file.content.append(buffer, static_cast<std::size_t>(got));
        }
        if (file.error.empty() && file.content.size() > maxBytes)
            file.error = "larger than " + std::to_string(maxBytes) + " bytes";
    }
    files.close(descriptor);
    if (!file.error.empty())
        file.content.clear();
    return file;
}

void RemoveLeftoverTemporaries(const std::string& path)
{
    const std::string stem = "." + baseNameOf(path) + ".";
    constexpr std::string_view kEnd = ".tmp";
    const std::string directory = directoryOf(path);
    DIR* folder = ::opendir(directory.c_str());
    if (!folder)
        return;
    std::vector<std::string> leftovers;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (name.size() <= stem.size() + kEnd.size() || name.substr(0, stem.size()) != stem ||
            name.substr(name.size() - kEnd.size()) != kEnd)
            continue;
        // PID.N between the stem and the end, both numbers.
        const std::string_view middle = name.substr(stem.size(), name.size() - stem.size() - kEnd.size());
        const auto dot = middle.find('.');
        long long pid = 0;
        unsigned long long counter = 0;
        const auto pidEnd = middle.data() + (dot == std::string_view::npos ? middle.size() : dot);
        if (dot == std::string_view::npos || std::from_chars(middle.data(), pidEnd, pid).ptr != pidEnd ||
            std::from_chars(pidEnd + 1, middle.data() + middle.size(), counter).ptr != middle.data() + middle.size() ||
            pid <= 0 || pid > INT_MAX)
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            leftovers.emplace_back(name);
    }
    ::closedir(folder);
    for (const std::string& name : leftovers)
        ::unlink((directory + "/" + name).c_str());
}

std::string ReplaceFile(FileSystem& files, const std::string& path, const std::string& content, mode_t mode,
                        struct stat* written)
{
    makeDirectories(files, directoryOf(path));
    std::string temporary;
    int descriptor = createTemporary(files, path, temporary);
    if (descriptor < 0)
        return reasonOf(errno);
    const bool done = (mode == 0 || files.fchmod(descriptor, mode) == 0) && writeAll(files, descriptor, content) &&
                      files.fsync(descriptor) == 0 && (!written || files.fstat(descriptor, *written) == 0);
    int error = done ? 0 : errno;
    // close can report a delayed write error (NFS, quotas): it counts too.
    if (files.close(descriptor) != 0 && error == 0)
        error = errno;
    if (error == 0 && files.rename(temporary, path) != 0)
        error = errno;
    if (error != 0) {
        files.unlink(temporary);
        return reasonOf(error);
    }
    syncDirectory(files, directoryOf(path));
    return {};
}

} // namespace platform
