#include "app/settings.h"

#include "platform/private_profile.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace app {

std::optional<int> ParseWholeNumber(const std::string& text)
{
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        negative = text[at++] == '-';
    int base = 10;
    if (at < text.size() && text[at] == '$') {
        base = 16;
        ++at;
    } else if (text.size() > 2 && text[at] == '0' && at + 1 < text.size() &&
               (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        base = 16;
        at += 2;
    }
    if (at >= text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
        if (value > (std::int64_t{1} << 32))
            return std::nullopt;
    }
    if (negative)
        value = -value;
    // Hexadecimal texts name the 32 bits, so "$FFFFFFFF" is -1.
    if (base == 16 && value > INT32_MAX && value <= UINT32_MAX)
        value -= std::int64_t{1} << 32;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

bool ReadSwitch(const platform::TIniFile& file, const Setting& setting)
{
    const bool fallback = *ParseWholeNumber(setting.defaultValue) != 0;
    const auto value = ParseWholeNumber(file.ReadString(setting.section, setting.readKey, setting.defaultValue));
    return value ? *value != 0 : fallback;
}

int ReadWholeNumber(const platform::TIniFile& file, const Setting& setting, int low, int high)
{
    const auto value = ParseWholeNumber(file.ReadString(setting.section, setting.readKey, setting.defaultValue));
    return std::clamp(value ? *value : *ParseWholeNumber(setting.defaultValue), low, high);
}

std::string ReadText(const platform::TIniFile& file, const Setting& setting)
{
    return file.ReadString(setting.section, setting.readKey, setting.defaultValue);
}

TimeProtocol ReadProtocol(const platform::TIniFile& file, const Setting& setting)
{
    const std::string text = ReadText(file, setting);
    const auto is = [&text](const std::string& name) {
        return std::equal(text.begin(), text.end(), name.begin(), name.end(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
        });
    };
    if (is(kNtsProtocolText))
        return TimeProtocol::Nts;
    return is(kNtpProtocolText) ? TimeProtocol::Ntp : TimeProtocol::Time;
}

void WriteSetting(platform::TIniFile& file, const Setting& setting, const std::string& value,
                  bool keptAbsentAtDefault)
{
    if (keptAbsentAtDefault && value == setting.defaultValue) {
        // No value can hold a line break, so this default means the key is absent.
        if (file.ReadString(setting.section, setting.readKey, "\n") == "\n")
            return;
    }
    file.WriteString(setting.section, setting.writtenKey, value);
}

} // namespace app
