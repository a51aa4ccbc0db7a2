#pragma once
// The settings file "Tikora.ini": every key with its section, its spelling
// when read and when written, and its default, declared once here.

#include "app/time_servers.h"

#include <optional>
#include <string>

namespace platform {
class TIniFile;
}

namespace app {

inline constexpr char kSettingsFileName[] = "Tikora.ini";

struct Setting {
    const char* section;
    const char* readKey;
    const char* writtenKey;
    const char* defaultValue;
};

namespace settings {
inline constexpr Setting AutoConnect{"ViewForm", "AutoConnect", "AutoConnect", "0"};
inline constexpr Setting AutoMinimize{"ViewForm", "AutoMinimize", "AutoMinimize", "0"};
inline constexpr Setting StartMin{"ViewForm", "StartMin", "StartMin", "0"};
inline constexpr Setting Adjust{"ViewForm", "Adjust", "Adjust", "1"};
inline constexpr Setting Retry{"ViewForm", "Retry", "Retry", "1"};
// The number of further attempts after a time-out, despite its name.
inline constexpr Setting RetrySecs{"ViewForm", "RetrySecs", "Retrysecs", "3"};
inline constexpr Setting Timeout{"ViewForm", "Timeout", "Timeout", "10"};
inline constexpr Setting Server{"ViewForm", "Server", "Server", kTimeServers[0]};
// Mirrors the session's autostart entry, which wins at start; read only when
// the entry cannot be.
inline constexpr Setting Autostart{"ViewForm", "Autostart", "Autostart", "0"};
// Which protocol the check speaks: kTimeProtocolText or kNtpProtocolText.
inline constexpr Setting Protocol{"ViewForm", "Protocol", "Protocol", "Time"};
// Written at exit, never read.
inline constexpr Setting LastUpdated{"Info", nullptr, "Last Updated", ""};
} // namespace settings

// The time-out the spin buttons allow, in seconds.
inline constexpr int kTimeOutMin = 0;
inline constexpr int kTimeOutMax = 6000;
inline constexpr int kTimeOutStep = 5;

inline constexpr char kTimeProtocolText[] = "Time";
inline constexpr char kNtpProtocolText[] = "NTP";

// A whole number as the settings file and the edits give it: decimal with an
// optional sign, "$" + hexadecimal, or "0x" + hexadecimal when longer than two
// characters; nothing when the text is not one or does not fit 32 bits.
std::optional<int> ParseWholeNumber(const std::string& text);

// A switch: any non-zero number is on; text that is no number gives the default.
bool ReadSwitch(const platform::TIniFile& file, const Setting& setting);
// A whole number within [low, high]; the default when the text is no whole number.
int ReadWholeNumber(const platform::TIniFile& file, const Setting& setting, int low, int high);
std::string ReadText(const platform::TIniFile& file, const Setting& setting);
// "NTP" (in any case) is NTP; absent or anything else is the Time protocol,
// so files written before there was a choice check as they always did.
TimeProtocol ReadProtocol(const platform::TIniFile& file);
// Written when NTP is chosen or the file already names a protocol: an older
// file that stays with the Time protocol is left as it was.
void WriteProtocol(platform::TIniFile& file, TimeProtocol protocol);
void WriteSwitch(platform::TIniFile& file, const Setting& setting, bool on);
void WriteText(platform::TIniFile& file, const Setting& setting, const std::string& value);

} // namespace app
