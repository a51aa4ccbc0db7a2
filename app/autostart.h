#pragma once
// Starting with the desktop session: the user's XDG autostart entry
// $XDG_CONFIG_HOME/autostart/tikora.desktop (XDG_CONFIG_HOME defaults to
// ~/.config). The entry on disk is the truth: the desktop's own autostart
// settings may remove it or switch it off behind the program's back.

#include <filesystem>
#include <string>

namespace app {

enum class AutostartState {
    Missing,      // no entry: the session does not start the program
    Enabled,      // the session starts the program
    SwitchedOff,  // an entry marked Hidden=true or X-GNOME-Autostart-enabled=false
    Unreadable,   // there is something, but it cannot be read
    Foreign,      // an entry at our name that runs another program: never ours to change unasked
};

// Where the entry lives: XDG_CONFIG_HOME when it is an absolute path, else
// $HOME/.config (the base-directory rules ignore a relative XDG_CONFIG_HOME).
std::filesystem::path AutostartEntryPath();

// The program as the entry names it: "tikora" when that name on `searchPath`
// (PATH's form) is the running program, else the running program's own path.
std::string AutostartProgram(const std::filesystem::path& runningProgram, const std::string& searchPath);

// One Exec= argument: quoted and escaped as the desktop-entry rules need.
std::string QuoteExecArgument(const std::string& argument);

// The whole entry that starts `program`.
std::string AutostartEntryText(const std::string& program);

// Whether an entry's text asks the session to start it.
bool EntryStartsProgram(const std::string& text);
// The Exec line's value in the main group; empty when there is none.
std::string EntryExec(const std::string& text);
// Whether that Exec runs this program: its first argument, unquoted, names "tikora".
bool ExecRunsThisProgram(const std::string& exec);

AutostartState ReadAutostartState(const std::filesystem::path& entry);

// Writes the entry whole (a temporary file renamed over it, so a crash never
// leaves half a file); throws Exception with the reason when it cannot.
void EnableAutostart(const std::filesystem::path& entry, const std::string& program);
// The report, and the question before replacing it, for an entry that runs another program.
std::string ForeignEntryReport(const std::filesystem::path& entry);
std::string ReplaceForeignEntryQuestion(const std::filesystem::path& entry);
// Removes the entry; one that is already gone is fine. Throws Exception when
// it cannot be removed.
void DisableAutostart(const std::filesystem::path& entry);

} // namespace app
