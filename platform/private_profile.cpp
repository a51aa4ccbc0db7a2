#include "platform/private_profile.h"

#include "platform/exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdlib>

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
    if (directory.isEmpty())
        directory = QDir::homePath() + QStringLiteral("/.config");
    return (directory + QLatin1Char('/')).toStdString() + fileName;
}

TIniFile::TIniFile(const std::string& fileName) : path_(ProfilePath(fileName))
{
    load();
}

bool TIniFile::load()
{
    lines_.clear();
    newline_ = "\n";
    QFile file(QString::fromStdString(path_));
    if (!file.open(QIODevice::ReadOnly))
        return !file.exists();
    const QByteArray content = file.readAll();
    if (content.contains("\r\n"))
        newline_ = "\r\n";
    std::string line;
    for (char c : content) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines_.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines_.push_back(line);
    return true;
}

TIniFile::Found TIniFile::find(const std::string& section, const std::string& key) const
{
    Found found;
    std::string name;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!sectionName(lines_[i], name) || !sameName(name, section))
            continue;
        found.section = true;
        found.sectionLine = i;
        found.endLine = lines_.size();
        for (std::size_t j = i + 1; j < lines_.size(); ++j) {
            std::string other;
            if (sectionName(lines_[j], other)) {
                found.endLine = j;
                break;
            }
            std::string entryKey, value;
            if (!found.key && keyValue(lines_[j], entryKey, value) && sameName(entryKey, key)) {
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
        keyValue(lines_[found.keyLine], entryKey, value);
    }
    return value.substr(0, kProfileValueMax);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    writes_.push_back({section, key, value});
    apply(writes_.back());
}

void TIniFile::apply(const Write& write)
{
    const std::string& section = write.section;
    const std::string& key = write.key;
    const std::string line = key + "=" + write.value;
    const Found found = find(section, key);
    if (found.key) {
        lines_[found.keyLine] = line;
        return;
    }
    if (found.section) {
        // After the section's last non-blank line, so blank separators stay below.
        std::size_t at = found.endLine;
        while (at > found.sectionLine + 1 && trimmed(lines_[at - 1]).empty())
            --at;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), line);
        return;
    }
    if (!lines_.empty() && !trimmed(lines_.back()).empty())
        lines_.emplace_back();
    lines_.push_back("[" + section + "]");
    lines_.push_back(line);
}

void TIniFile::UpdateFile() const
{
    const QString path = QString::fromStdString(path_);
    // The file may have been edited since it was read (the window keeps it
    // from start to exit): replay this object's writes on it as it is now.
    TIniFile current(*this);
    if (current.load()) {
        for (const Write& write : writes_)
            current.apply(write);
    } else {
        current = *this;   // unreadable now: what was read is the best there is
    }
    QByteArray content;
    for (const std::string& line : current.lines_)
        content += QByteArray::fromStdString(line + current.newline_);
    QSaveFile file(path);
    const bool written = QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
                         file.write(content) == content.size() && file.commit();
    if (!written)
        throw Exception("Unable to write to " + path_);
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
