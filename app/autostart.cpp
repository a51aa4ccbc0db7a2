#include "app/autostart.h"

#include "platform/exception.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace app {
namespace {

constexpr char kProgramName[] = "tikora";
constexpr char kEntryFileName[] = "tikora.desktop";

std::string reason(int error)
{
    return std::strerror(error);
}

[[noreturn]] void failWrite(const std::filesystem::path& entry, int error)
{
    throw Exception("Unable to write to " + entry.string() + " (" + reason(error) + ")");
}

// Like mkdir -p, with 0700 for what it creates as the base-directory rules ask.
int makeDirectories(const std::filesystem::path& directory)
{
    std::filesystem::path made;
    for (const auto& part : directory) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat info {};
    if (::stat(directory.c_str(), &info) != 0)
        return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

int writeAll(int descriptor, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(descriptor, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return wrote < 0 ? errno : EIO;
        done += static_cast<std::size_t>(wrote);
    }
    return 0;
}

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

std::filesystem::path AutostartEntryPath()
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (configHome && configHome[0] == '/') {
        base = configHome;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home ? home : "") / ".config";
    }
    return base / "autostart" / kEntryFileName;
}

std::string AutostartProgram(const std::filesystem::path& runningProgram, const std::string& searchPath)
{
    std::istringstream directories(searchPath);
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        if (directory.empty() || directory[0] != '/')
            continue;   // a relative PATH entry depends on the session's working directory
        std::error_code error;
        if (std::filesystem::equivalent(std::filesystem::path(directory) / kProgramName, runningProgram, error))
            return kProgramName;
    }
    return runningProgram.string();
}

std::string QuoteExecArgument(const std::string& argument)
{
    static constexpr char kReserved[] = " \t\n\"'\\><~|&;$*?#()`";
    std::string quoted;
    if (argument.find_first_of(kReserved) == std::string::npos && !argument.empty()) {
        quoted = argument;
    } else {
        quoted = "\"";
        for (const char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    }
    // Then the rules for any string value, which the reader undoes first.
    std::string escaped;
    for (const char c : quoted) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        case '%': escaped += "%%"; break;   // not a field code
        default: escaped += c;
        }
    }
    return escaped;
}

std::string AutostartEntryText(const std::string& program)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tikora\n"
           "Comment=Check the PC clock against a time server; the moon's phase\n"
           "Exec=" + QuoteExecArgument(program) + "\n"
           "Icon=tikora\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n"
           // Its icon needs the panel's notification area.
           "X-KDE-autostart-after=panel\n";
}

std::string EntryExec(const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    bool inMainGroup = false;
    while (std::getline(lines, line)) {
        line = trimmed(line);
        if (!line.empty() && line[0] == '[')
            inMainGroup = line == "[Desktop Entry]";
        const auto equals = line.find('=');
        if (inMainGroup && equals != std::string::npos && trimmed(line.substr(0, equals)) == "Exec")
            return trimmed(line.substr(equals + 1));
    }
    return {};
}

bool ExecRunsThisProgram(const std::string& exec)
{
    // Undo the string escapes, then the Exec quoting, for the first argument only.
    std::string argument;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (c == '\\' && i + 1 < exec.size()) {
            c = exec[++i];
            if (c == '\\' && quoted && i + 1 < exec.size())
                c = exec[++i];   // a quoted backslash escape: \\$ and the like
        } else if (c == '"') {
            quoted = !quoted;
            continue;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            break;
        }
        argument += c;
    }
    return std::filesystem::path(argument).filename() == kProgramName;
}

bool EntryStartsProgram(const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    bool inMainGroup = false;
    bool starts = true;
    while (std::getline(lines, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos)
            continue;
        const std::string key = trimmed(line.substr(0, equals));
        const std::string value = trimmed(line.substr(equals + 1));
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false"))
            starts = false;
    }
    return starts;
}

AutostartState ReadAutostartState(const std::filesystem::path& entry)
{
    std::error_code error;
    const auto status = std::filesystem::status(entry, error);
    if (status.type() == std::filesystem::file_type::not_found)
        return AutostartState::Missing;
    std::ifstream file(entry, std::ios::binary);
    std::ostringstream text;
    if (error || !std::filesystem::is_regular_file(status) || !(file && text << file.rdbuf()))
        return AutostartState::Unreadable;
    if (!ExecRunsThisProgram(EntryExec(text.str())))
        return AutostartState::Foreign;
    return EntryStartsProgram(text.str()) ? AutostartState::Enabled : AutostartState::SwitchedOff;
}

void EnableAutostart(const std::filesystem::path& entry, const std::string& program)
{
    if (const int error = makeDirectories(entry.parent_path()))
        failWrite(entry, error);
    std::string temporary = entry.string() + ".XXXXXX";
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0)
        failWrite(entry, errno);
    int error = ::fchmod(descriptor, 0644) == 0 ? 0 : errno;
    if (!error)
        error = writeAll(descriptor, AutostartEntryText(program));
    if (!error && ::fsync(descriptor) != 0)
        error = errno;
    if (::close(descriptor) != 0 && !error)
        error = errno;
    if (!error && ::rename(temporary.c_str(), entry.c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(temporary.c_str());
        failWrite(entry, error);
    }
}

std::string ForeignEntryReport(const std::filesystem::path& entry)
{
    return "The autostart entry " + entry.string() +
           " starts another program, not Tikora; it is left as it is, and the session does not start Tikora.";
}

std::string ReplaceForeignEntryQuestion(const std::filesystem::path& entry)
{
    return "The autostart entry " + entry.string() +
           " starts another program, not Tikora. Replace it with one that starts Tikora?";
}

void DisableAutostart(const std::filesystem::path& entry)
{
    // Another program's entry is not ours to remove.
    if (ReadAutostartState(entry) == AutostartState::Foreign)
        return;
    if (::unlink(entry.c_str()) == 0 || errno == ENOENT)
        return;
    const int error = errno;
    throw Exception("Unable to remove " + entry.string() + " (" + reason(error) + ")");
}

} // namespace app
