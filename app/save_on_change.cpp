// The settings on disk follow the Options page: every control of the settings
// table tells the saver when it changes.
#include "app/settings_saver.h"
#include "app/settings_table.h"
#include "app/view_form.h"

#include "platform/local_clock.h"
#include "platform/private_profile.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

using namespace app;

namespace {

// Which signal of a control is its change, by the kind of control.
void watchChange(QWidget* control, SettingsSaver* saver)
{
    const auto changed = [saver] { saver->Changed(); };
    if (auto* box = qobject_cast<QAbstractButton*>(control)) {
        QObject::connect(box, &QAbstractButton::toggled, saver, changed);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        QObject::connect(edit, &QLineEdit::textChanged, saver, changed);
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->isEditable())
            QObject::connect(combo, &QComboBox::currentTextChanged, saver, changed);
        else
            QObject::connect(combo, &QComboBox::currentIndexChanged, saver, changed);
    } else {
        qFatal("watchChange: %s is no kind of control the settings know", qPrintable(control->objectName()));
    }
}

} // namespace

// The stamp is taken as it is written: it is no change of its own.
SettingsValues TViewForm::settingsShown() const
{
    SettingsValues values;
    for (const SettingBinding& row : settingsTable())
        values.texts.push_back(row.control ? row.shown(*this) : std::string());
    return values;
}

std::string TViewForm::lastUpdatedText() const
{
    return platform::FormatDateTime(QStringLiteral("c"), services_.clock.LocalNow(), services_.format).toStdString();
}

void TViewForm::writeSettings(const SettingsValues& values)
{
    // A file that could not be read at start was reported then; writing over
    // it would lose whatever it holds.
    if (!iniFile->ReadError().empty())
        return;
    const auto rows = settingsTable();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SettingBinding& row = rows[i];
        WriteSetting(*iniFile, row.key, row.control ? values.texts[i] : row.shown(*this), row.keptAbsentAtDefault);
    }
    iniFile->UpdateFile();
}

// After the settings were read, so that reading them is no change.
void TViewForm::watchSettings()
{
    settingsSaver = new SettingsSaver([this] { return settingsShown(); },
                                      [this](const SettingsValues& values) { writeSettings(values); },
                                      settingsShown(), this);
    for (const SettingBinding& row : settingsTable())
        if (row.control)
            watchChange(row.control(*this), settingsSaver);
}
