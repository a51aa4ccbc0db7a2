#pragma once
// The settings file "Tikora.ini": how a key is spelled and how its values
// are read and written. The keys themselves are rows of the window's settings
// table (app/settings_table.h).

#include "app/time_servers.h"

#include <optional>
#include <string>

namespace platform {
class TIniFile;
}

namespace app {

inline constexpr char kSettingsFileName[] = "Tikora.ini";

// A key as the file spells it: sections and keys match without regard to
// case, but some keys have always been written with another spelling.
struct Setting {
    const char* section;
    const char* readKey;   // none: written, never read
    const char* writtenKey;
    const char* defaultValue;
};

// The time-out the spin buttons allow, in seconds.
inline constexpr int kTimeOutMin = 0;
inline constexpr int kTimeOutMax = 6000;
inline constexpr int kTimeOutStep = 5;

inline constexpr char kTimeProtocolText[] = "Time";
inline constexpr char kNtpProtocolText[] = "NTP";
inline constexpr char kNtsProtocolText[] = "NTS";

// A whole number as the settings file and the edits give it: decimal with an
// optional sign, "$" + hexadecimal, or "0x" + hexadecimal when longer than two
// characters; nothing when the text is not one or does not fit 32 bits.
std::optional<int> ParseWholeNumber(const std::string& text);

// A switch: any non-zero number is on; text that is no number gives the default.
bool ReadSwitch(const platform::TIniFile& file, const Setting& setting);
// A whole number within [low, high]; the default when the text is no whole number.
int ReadWholeNumber(const platform::TIniFile& file, const Setting& setting, int low, int high);
std::string ReadText(const platform::TIniFile& file, const Setting& setting);
// "NTP" (in any case) is NTP, "NTS" authenticated NTP; absent or anything else is the Time protocol,
// so files written before there was a choice check as they always did.
TimeProtocol ReadProtocol(const platform::TIniFile& file, const Setting& setting);
// With `keptAbsentAtDefault`, a file that lacks the key keeps lacking it while
// the value is the default: an older file is left as it was.
void WriteSetting(platform::TIniFile& file, const Setting& setting, const std::string& value,
                  bool keptAbsentAtDefault = false);

} // namespace app
