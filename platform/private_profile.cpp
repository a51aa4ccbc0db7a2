#include "platform/private_profile.h"

#include "platform/exception.h"
#include "platform/safe_file.h"

#include <QDir>

#include <sys/stat.h>

#include <cstdio>

#include <string_view>

namespace platform {
namespace {

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

bool sameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// "[name]" → name; false for other lines.
bool sectionName(const std::string& line, std::string& name)
{
    const std::string text = trimmed(line);
    if (text.empty() || text.front() != '[')
        return false;
    const auto close = text.find(']');
    if (close == std::string::npos)
        return false;
    name = trimmed(text.substr(1, close - 1));
    return true;
}

// "key = value" → key and value; false for comments and other lines.
bool keyValue(const std::string& line, std::string& key, std::string& value)
{
    const std::string text = trimmed(line);
    if (text.empty() || text.front() == ';')
        return false;
    const auto equals = text.find('=');
    if (equals == std::string::npos)
        return false;
    key = trimmed(text.substr(0, equals));
    value = trimmed(text.substr(equals + 1));
    // Windows drops one pair of matching quotes around a value.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return true;
}

} // namespace

std::string ProfilePath(const std::string& fileName)
{
    QString directory = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The base-directory rules ignore a relative path: it would depend on the working directory.
    if (!directory.startsWith(QLatin1Char('/')))
        directory = QDir::homePath() + QStringLiteral("/.config");
    return (directory + QLatin1Char('/')).toStdString() + fileName;
}

TIniFile::TIniFile(const std::string& fileName) : TIniFile(fileName, PosixFileSystem()) {}

TIniFile::TIniFile(const std::string& fileName, FileSystem& files) : path_(ProfilePath(fileName)), files_(&files)
{
    RemoveLeftoverTemporaries(path_);
    load();
}

bool TIniFile::load()
{
    lines_.clear();
    byteOrderMark_ = false;
    newline_ = "\n";
    mode_ = 0;
    readError_.clear();
    readReason_.clear();
    SmallFile file = ReadSmallFile(*files_, path_);
    struct stat status {};
    link_ = files_->lstat(path_, status) == 0 && S_ISLNK(status.st_mode);
    // Writing would put a plain file where the user's link is.
    if (!file.exists && link_)
        file.error = "a link to a file that does not exist";
    exists_ = file.exists;
    device_ = file.device;
    inode_ = file.inode;
    if (!file.error.empty()) {
        readReason_ = file.error;
        readError_ = "Unable to read " + path_ + ": " + file.error +
                     ". The program starts on the default settings and leaves the file as it is.";
        return false;
    }
    mode_ = file.mode;
    parse(file.content);
    return true;
}

void TIniFile::parse(const std::string& content)
{
    std::string_view rest = content;
    // Editors write a byte-order mark; it belongs to the file, not to the first line.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (rest.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        byteOrderMark_ = true;
        rest.remove_prefix(kByteOrderMark.size());
    }
    bool newlineChosen = false;
    while (!rest.empty()) {
        const auto at = rest.find('\n');
        Line line;
        if (at == std::string_view::npos) {
            line.text = std::string(rest);
            rest = {};
        } else {
            const bool crlf = at > 0 && rest[at - 1] == '\r';
            line.text = std::string(rest.substr(0, crlf ? at - 1 : at));
            line.end = crlf ? "\r\n" : "\n";
            rest.remove_prefix(at + 1);
            if (!newlineChosen) {
                newline_ = line.end;
                newlineChosen = true;
            }
        }
        lines_.push_back(std::move(line));
    }
}

std::string TIniFile::content() const
{
    std::string text = byteOrderMark_ ? "\xEF\xBB\xBF" : "";
    for (const Line& line : lines_)
        text += line.text + line.end;
    return text;
}

TIniFile::Found TIniFile::find(const std::string& section, const std::string& key) const
{
    Found found;
    std::string name;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!sectionName(lines_[i].text, name) || !sameName(name, section))
            continue;
        found.section = true;
        found.sectionLine = i;
        found.endLine = lines_.size();
        for (std::size_t j = i + 1; j < lines_.size(); ++j) {
            std::string other;
            if (sectionName(lines_[j].text, other)) {
                found.endLine = j;
                break;
            }
            std::string entryKey, value;
            if (!found.key && keyValue(lines_[j].text, entryKey, value) && sameName(entryKey, key)) {
                found.key = true;
                found.keyLine = j;
            }
        }
        return found;
    }
    return found;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const
{
    const Found found = find(section, key);
    std::string value = defaultValue;
    if (found.key) {
        std::string entryKey;
        keyValue(lines_[found.keyLine].text, entryKey, value);
    }
    return value.substr(0, kProfileValueMax);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    writes_.push_back({section, key, value});
    apply(writes_.back());
}

// A line that ends the file gains the file's line ending first, so the new
// line never runs on from it.
void TIniFile::insertLine(std::size_t at, const std::string& text)
{
    if (at == lines_.size() && !lines_.empty() && lines_.back().end.empty())
        lines_.back().end = newline_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{text, newline_});
}

void TIniFile::apply(const Write& write)
{
    const std::string& section = write.section;
    const std::string& key = write.key;
    const std::string line = key + "=" + write.value;
    const Found found = find(section, key);
    if (found.key) {
        lines_[found.keyLine].text = line;
        return;
    }
    if (found.section) {
        // After the section's last non-blank line, so blank separators stay below.
        std::size_t at = found.endLine;
        while (at > found.sectionLine + 1 && trimmed(lines_[at - 1].text).empty())
            --at;
        insertLine(at, line);
        return;
    }
    if (!lines_.empty() && !trimmed(lines_.back().text).empty())
        insertLine(lines_.size(), "");
    insertLine(lines_.size(), "[" + section + "]");
    insertLine(lines_.size(), line);
}

void TIniFile::UpdateFile() const
{
    const std::string refused = "Unable to write to " + path_ + ": ";
    // Defaults written over a file that could not be read would destroy the
    // user's settings: such a file is left alone.
    if (!readError_.empty())
        throw Exception(refused + "it could not be read at start (" + readReason_ + "), so it is left as it is");
    // The file may have been edited since it was read (the window keeps it
    // from start to exit): replay this object's writes on it as it is now.
    TIniFile current(*this);
    if (!current.load())
        throw Exception(refused + "it cannot be read now (" + current.readReason_ + "), so it is left as it is");
    const std::string refusing = refusal(current);
    if (!refusing.empty()) {
        // Said once; the file stays as it is either way.
        if (refusing == lastRefusal_)
            return;
        lastRefusal_ = refusing;
        throw Exception(refused + refusing);
    }
    lastRefusal_.clear();
    for (const Write& write : writes_)
        current.apply(write);
    // Through a link (a dotfile manager's), the file it points to is replaced, not the link.
    std::string target = files_->realPath(path_);
    if (target.empty())
        target = path_;
    struct stat written {};
    const std::string failure = ReplaceFile(*files_, target, current.content(), current.mode_, &written);
    if (!failure.empty())
        throw Exception(refused + failure);
    device_ = written.st_dev;
    inode_ = written.st_ino;
}

std::string TIniFile::refusal(const TIniFile& current) const
{
    if (!current.exists_)
        return {};
    // The mode bits, not access(): root may write anything, but the user froze this file.
    if ((current.mode_ & 0222) == 0) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(current.mode_));
        return std::string("it is read-only (mode ") + mode + "), so the settings in it are kept as they are";
    }
    // A plain file put at the path is the user's own (an editor saves so); a
    // link put there, or turned to another file, may lead anywhere.
    const bool sameFile = inode_ != 0 && current.device_ == device_ && current.inode_ == inode_;
    if (current.link_ && !sameFile)
        return "a link there now leads to another file than the one read, so both are left as they are";
    return {};
}

std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                     const std::string& defaultValue, const std::string& fileName)
{
    return TIniFile(fileName).ReadString(section, key, defaultValue);
}

bool WritePrivateProfileStringA(const std::string& section, const std::string& key, const std::string& value,
                                const std::string& fileName)
{
    TIniFile file(fileName);
    file.WriteString(section, key, value);
    try {
        file.UpdateFile();
    } catch (const Exception&) {
        return false;
    }
    return true;
}

} // namespace platform
