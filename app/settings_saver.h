#pragma once
// Saving the settings as they are made: a change starts a short timer, and
// when it fires the window's settings are written if they differ from what
// was last written. A broken display connection or a kill cannot be caught,
// so this is what keeps a change once it has been made.

#include "app/settings.h"

#include <QObject>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class QTimer;

namespace platform {
class TIniFile;
}

namespace app {

// The settings the window writes, as its controls show them: one text per
// row of its settings table.
struct SettingsValues {
    std::vector<std::string> texts;

    bool operator==(const SettingsValues&) const = default;
};

class SettingsSaver : public QObject {
public:
    // At most this long after a change, the change is on disk.
    static constexpr std::chrono::milliseconds kDelay{400};

    // `current` gives the settings shown now, `write` writes them (raising
    // Exception when it cannot). `saved` is what the file holds at start.
    SettingsSaver(std::function<SettingsValues()> current, std::function<void(const SettingsValues&)> write,
                  const SettingsValues& saved, QObject* parent = nullptr);

    // A setting may have changed. The timer is not restarted by later
    // changes, so a stream of changes (typing a server name) is still saved
    // within kDelay of each one.
    void Changed();
    // Writes now if the settings differ from what was last written.
    void Flush();
    // The exit has written the file: nothing is pending any more.
    void Written(const SettingsValues& values);
    bool Pending() const;

private:
    std::function<SettingsValues()> current_;
    std::function<void(const SettingsValues&)> write_;
    SettingsValues saved_;
    QTimer* timer_;
    // One report per run of failures, not one per change.
    bool failureReported_ = false;
};

} // namespace app
