// The settings on disk follow the Options page: every control that the exit
// writes tells the saver when it changes.
#include "app/settings_saver.h"
#include "app/view_form.h"

#include "platform/local_clock.h"
#include "platform/private_profile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

using namespace app;

SettingsValues TViewForm::settingsShown() const
{
    SettingsValues values;
    values.autoConnect = chkAutoConnect->isChecked();
    values.autoMinimize = chkExit->isChecked();
    values.adjust = chkAdjust->isChecked();
    values.startMin = chkStartMin->isChecked();
    values.timeout = TOEdit->text().toStdString();
    values.retry = chkRetry->isChecked();
    values.retrySecs = edtRetry->text().toStdString();
    values.server = svrName->text().toStdString();
    values.autostart = chkAutostart->isChecked();
    values.protocol = chosenProtocol();
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
    WriteSettingsValues(*iniFile, values, lastUpdatedText());
    iniFile->UpdateFile();
}

// After the settings were read, so that reading them is no change.
void TViewForm::watchSettings()
{
    settingsSaver = new SettingsSaver([this] { return settingsShown(); },
                                      [this](const SettingsValues& values) { writeSettings(values); },
                                      settingsShown(), this);
    const auto changed = [this] { settingsSaver->Changed(); };
    for (QCheckBox* box : {chkAutoConnect, chkExit, chkAdjust, chkStartMin, chkRetry, chkAutostart})
        connect(box, &QCheckBox::toggled, settingsSaver, changed);
    connect(TOEdit, &QLineEdit::textChanged, settingsSaver, changed);
    connect(edtRetry, &QLineEdit::textChanged, settingsSaver, changed);
    // svrName, which is what is saved, follows the combo box's text.
    connect(ComboServer, &QComboBox::currentTextChanged, settingsSaver, changed);
    connect(ComboProtocol, &QComboBox::currentIndexChanged, settingsSaver, changed);
}
