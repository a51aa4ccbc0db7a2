#pragma once
// The window's settings table: one row per key of the settings file, binding
// the key to the Options page control that shows it. Start-up reads, the exit
// and the saver write, and the saver watches through these rows only, so a
// new key is one new row.

#include "app/settings.h"

#include <string>

class QWidget;
class TViewForm;

namespace platform {
class TIniFile;
}

namespace app {

struct SettingBinding {
    Setting key;
    // Puts the file's value, or the default, into the window; none: never read.
    void (*read)(TViewForm& window, const platform::TIniFile& file, const Setting& key);
    // The text the file is to hold, as the window shows it now.
    std::string (*shown)(const TViewForm& window);
    // The control whose change is saved soon after: a check box when toggled,
    // an edit when its text changes, a combo box when its text (editable) or
    // its item changes. None: a stamp of the write itself, written with every
    // write and never a change of its own.
    QWidget* (*control)(TViewForm& window);
    // A file without the key keeps lacking it while the value is the default.
    bool keptAbsentAtDefault = false;
};

} // namespace app
