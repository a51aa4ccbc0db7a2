#pragma once
// Reading a small regular file without blocking or running away, and
// replacing a file so that any failure leaves the old one byte for byte.

#include "platform/file_system.h"

#include <cstddef>
#include <string>

namespace platform {

// A settings file is a few hundred bytes; anything bigger than this is not one
// (a link to /dev/zero, a log written to the wrong name) and is not loaded.
inline constexpr std::size_t kSmallFileMaxBytes = 1024 * 1024;

struct SmallFile {
    bool exists = false;   // false: no such file (nothing to keep)
    std::string content;
    mode_t mode = 0;       // permission bits of the file read
    dev_t device = 0;      // which file was read (after following links)
    ino_t inode = 0;
    std::string error;     // why an existing file could not be read; empty when it was
};

// Opens without blocking (a FIFO would hang the caller), accepts only a
// regular file of at most maxBytes.
SmallFile ReadSmallFile(FileSystem& files, const std::string& path, std::size_t maxBytes = kSmallFileMaxBytes);

// Writes content to a temporary file beside path, checks every write, syncs and
// closes it, gives it `mode` (when not 0), renames it over path and syncs the
// directory. Returns the reason of a failure (the temporary file removed, path
// untouched), or an empty text on success; `written` (when given) then holds
// the new file's status.
std::string ReplaceFile(FileSystem& files, const std::string& path, const std::string& content, mode_t mode,
                        struct stat* written = nullptr);

// Removes the temporary files a writer of `path` killed mid-write left beside
// it (".NAME.PID.N.tmp"), only those whose process no longer runs.
void RemoveLeftoverTemporaries(const std::string& path);

} // namespace platform
