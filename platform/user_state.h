#pragma once
// Small files the program keeps for the user between runs (which servers
// refused access, ...), in $XDG_STATE_HOME/tikora/ (default
// ~/.local/state/tikora/). Read with the settings file's bounded read, written
// through its checked replace; a failure is a reason, never an exception, and
// the caller goes on without what the file would have said.

#include "platform/file_system.h"

#include <cstddef>
#include <string>

namespace platform {

// A state file is a few lines; anything larger is not ours and is not read.
inline constexpr std::size_t kUserStateMaxBytes = 64 * 1024;

// The folder, without a trailing slash; empty when neither an absolute
// XDG_STATE_HOME nor a home folder is known. A relative XDG_STATE_HOME is
// ignored: it would name another folder in every working directory.
std::string UserStateDirectory();

struct UserStateText {
    std::string content;   // empty when the file does not exist yet
    std::string error;     // why an existing file could not be read; empty when it was
};

UserStateText ReadUserState(FileSystem& files, const std::string& fileName);
// Replaces the file (mode 0600), creating the folder (0700) when missing.
// Returns the reason of a failure, or an empty text.
std::string WriteUserState(FileSystem& files, const std::string& fileName, const std::string& content);

} // namespace platform
