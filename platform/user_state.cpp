#include "platform/user_state.h"

#include "platform/safe_file.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {
namespace {

constexpr const char* kFolder = "/tikora";
constexpr mode_t kFileMode = 0600;

std::string homeDirectory()
{
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    // A service started without HOME still belongs to a user with a home.
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/' ? entry->pw_dir : "";
}

} // namespace

std::string UserStateDirectory()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return std::string(state) + kFolder;
    const std::string home = homeDirectory();
    return home.empty() ? std::string() : home + "/.local/state" + kFolder;
}

UserStateText ReadUserState(FileSystem& files, const std::string& fileName)
{
    const std::string directory = UserStateDirectory();
    if (directory.empty())
        return {{}, "no home folder to keep state in"};
    const SmallFile file = ReadSmallFile(files, directory + '/' + fileName, kUserStateMaxBytes);
    return {file.content, file.error};
}

std::string WriteUserState(FileSystem& files, const std::string& fileName, const std::string& content)
{
    const std::string directory = UserStateDirectory();
    if (directory.empty())
        return "no home folder to keep state in";
    return ReplaceFile(files, directory + '/' + fileName, content, kFileMode);
}

} // namespace platform
