// Start-up and exit: FormCreate reads the settings into the Options page and
// places the window; FormDestroy writes them back.
#include "app/autostart.h"
#include "app/settings.h"
#include "app/settings_saver.h"
#include "app/settings_table.h"
#include "app/view_form.h"

#include "platform/exception.h"
#include "platform/gui/screen_cursor.h"
#include "platform/local_clock.h"
#include "platform/private_profile.h"
#include "platform/timezone.h"
#include "ui/daylight_text.h"
#include "ui/tray_icon.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

using namespace app;

void TViewForm::FormCreate()
{
    services_.cursor.SetCustomCursor(1, platform::LoadCursorResource(QStringLiteral("HAND")));
    Panel6->setText(platform::FormatDateTime(QStringLiteral("h:nn:ss AM/PM  m/d/yy"), services_.clock.LocalNow(),
                                             services_.format));

    platform::TIME_ZONE_INFORMATION zone;
    tzState = services_.zone.GetTimeZoneInformation(zone);
    if (zone.StandardDate.wMonth != 0) {
        lblDaylight->setText(QString::fromStdString(ui::selmonth(zone.StandardDate.wMonth, zone.StandardDate.wDay)));
        lblStandard->setText(QString::fromStdString(ui::selmonth(zone.DaylightDate.wMonth, zone.DaylightDate.wDay)));
        lblDaylight->adjustSize();
        lblStandard->adjustSize();
    }
    Daytime->setText(tzState == platform::TIME_ZONE_ID_DAYLIGHT ? zone.DaylightName : zone.StandardName);

    iniFile = std::make_unique<platform::TIniFile>(kSettingsFileName);
    // An existing file that cannot be read: said once here; FormDestroy leaves it alone.
    if (!iniFile->ReadError().empty())
        platform::ShowException(Exception(iniFile->ReadError()), this);
    readSettings();
    watchSettings();

    move(centredLeft(), y());
    if (chkStartMin->isChecked()) {
        // Parking the window past the screen's edge does not hide it: window
        // managers pull it back into the screen and Wayland ignores positions.
        // With a notification area it is never shown until asked for there;
        // without one nothing could bring a hidden window back, so it iconifies.
        if (hasNotificationArea())
            hiddenAtStart_ = true;
        else
            setWindowState(windowState() | Qt::WindowMinimized);
    }
    checkEngine_->setRetriesLeft(chkRetry->isChecked() ? retriesAllowed() : 0);
    getmoon();
    // The tick runs while the window is meant to be seen; hidden in the tray
    // it waits for the first showing, as after Minimize.
    if (!hiddenAtStart_)
        Timer1->start();
    if (chkAutoConnect->isChecked())
        btnConnectClick();
}

void TViewForm::ShowAtStart()
{
    if (!hiddenAtStart_)
        show();
}

void TViewForm::readSettings()
{
    for (const SettingBinding& row : settingsTable())
        if (row.read)
            row.read(*this, *iniFile, row.key);
}

void TViewForm::FormDestroy()
{
    if (iniFile) {
        const SettingsValues values = settingsShown();
        writeSettings(values);
        if (settingsSaver)
            settingsSaver->Written(values);
    }
    delete TrayIcon1;   // takes the icon out of the notification area
    TrayIcon1 = nullptr;
    delete Timer1;
    Timer1 = nullptr;
}
