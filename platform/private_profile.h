#pragma once
// Private-profile (INI) files: GetPrivateProfileStringA / WritePrivateProfileStringA
// on a file named without a directory, which lives in $XDG_CONFIG_HOME
// (default ~/.config), the counterpart of the Windows directory. Sections and
// keys match without regard to case; every other line is kept byte for byte
// (a leading UTF-8 byte-order mark and each line's own ending included); the
// file is replaced atomically, so a crash never leaves half a file.

#include "platform/file_system.h"

#include <string>
#include <vector>

namespace platform {

// At most this many characters of a value are returned (a 1024-byte buffer).
inline constexpr std::size_t kProfileValueMax = 1023;

// Where a profile file of that name lives.
std::string ProfilePath(const std::string& fileName);

// A profile file held in memory: read once, changed in memory, written back
// whole with UpdateFile.
class TIniFile {
public:
    // Reads the file if it exists; a missing or unreadable file reads as empty.
    explicit TIniFile(const std::string& fileName);
    TIniFile(const std::string& fileName, FileSystem& files);

    const std::string& FileName() const { return path_; }
    // Empty when the file was read or did not exist; otherwise the report for
    // the user (path and reason). Such a file is never written over.
    const std::string& ReadError() const { return readError_; }
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // Replaces the key's line (spelled as given now) or adds it at the end of
    // its section, adding the section at the end of the file if needed.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    // Writes the file by replacing it; raises Exception("Unable to write to "
    // + path + ": " + reason) and leaves the old file as it was when that
    // fails, or when the file exists but could not be read (at start or now).
    // The writes are applied to the file as it is now, so lines changed since
    // it was read are kept. Two files are never written: one made read-only
    // (the user froze it), and one a link leads to that is not the file read
    // (or last written); each refusal is raised once, later calls skip quietly.
    void UpdateFile() const;

private:
    struct Found {
        std::size_t sectionLine = 0;
        std::size_t endLine = 0;   // one past the section's last line
        bool section = false;
        std::size_t keyLine = 0;
        bool key = false;
    };
    struct Write {
        std::string section;
        std::string key;
        std::string value;
    };
    struct Line {
        std::string text;
        std::string end;   // "\n", "\r\n", or empty for a last line without one
    };
    Found find(const std::string& section, const std::string& key) const;
    // False (with readError_ set) when the file exists but cannot be read.
    bool load();
    void parse(const std::string& content);
    std::string content() const;
    // Why the file as it is now (`current`) must not be replaced; empty when it may.
    std::string refusal(const TIniFile& current) const;
    void insertLine(std::size_t at, const std::string& text);
    void apply(const Write& write);

    std::string path_;
    FileSystem* files_;
    std::vector<Line> lines_;
    bool byteOrderMark_ = false;
    std::string newline_ = "\n";   // for added lines: the file's first line ending
    mode_t mode_ = 0;              // kept when the file is replaced; 0 for a new file
    bool exists_ = false;
    bool link_ = false;            // the path is a symbolic link
    // The file read at start, or last written: a link that leads elsewhere is not followed.
    mutable dev_t device_ = 0;
    mutable ino_t inode_ = 0;
    mutable std::string lastRefusal_;
    std::string readError_;
    std::string readReason_;
    std::vector<Write> writes_;   // replayed on the file as it is at UpdateFile
};

// The Windows calls, each reading (and writing) the file once.
std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, const std::string& fileName);
// False when the file could not be written.
bool WritePrivateProfileStringA(const std::string& section, const std::string& key, const std::string& value,
                                const std::string& fileName);

} // namespace platform
