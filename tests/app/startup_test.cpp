// Start-up, the settings file, exit and the window commands.
#include "app/settings.h"
#include "app/window_fixture.h"
#include "platform/private_profile.h"
#include "ui/spin_button.h"
#include "ui/tray_icon.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <utility>

namespace testing_support {
namespace {

int screenWidth() { return QGuiApplication::primaryScreen()->geometry().width(); }

using Startup = WindowTest;

TEST_F(Startup, WithoutSettingsFileTheDefaultsAndACentredWindow)
{
    TViewForm& window = open();
    EXPECT_TRUE(window.chkAdjust->isChecked());
    EXPECT_TRUE(window.chkRetry->isChecked());
    EXPECT_TRUE(window.edtRetry->isEnabled());
    EXPECT_FALSE(window.chkStartMin->isChecked());
    EXPECT_FALSE(window.chkAutoConnect->isChecked());
    EXPECT_FALSE(window.chkExit->isChecked());
    EXPECT_EQ(window.edtRetry->text(), "3");
    EXPECT_EQ(window.TOEdit->text(), "10");
    EXPECT_EQ(window.cli.TimeOut(), 10);
    EXPECT_EQ(window.svrName->text(), "time.nist.gov");
    EXPECT_EQ(window.ComboServer->currentText(), "time.nist.gov");
    EXPECT_EQ(window.ComboServer->count(), 32);
    EXPECT_EQ(window.x(), screenWidth() / 2 - 122);
    EXPECT_EQ(window.y(), 143);
    EXPECT_EQ(window.checkEngine().retriesLeft(), 3);
    EXPECT_EQ(window.checkEngine().attemptNumber(), 1);
    EXPECT_EQ(window.checkEngine().checkNumber(), 0);
    EXPECT_TRUE(log().empty());
    EXPECT_TRUE(window.Timer1->isActive());
    EXPECT_EQ(window.Panel6->text(), "12:00:00 PM  12/7/26");
    EXPECT_EQ(window.Daytime->text(), "Coordinated Universal Time");
    EXPECT_EQ(window.lblStandard->text(), "no daylight savings time!");
    EXPECT_EQ(cursor.installed, std::vector<int>{1});
    EXPECT_EQ(cursor.lastInstalled.pixmap().size(), QSize(32, 32));
    EXPECT_EQ(cursor.lastInstalled.hotSpot(), QPoint(0, 0));
    EXPECT_TRUE(errors.empty());
}

TEST_F(Startup, DaylightZoneNamesAndRules)
{
    zone = fakes::FakeTimeZone::WithBias(300, platform::TIME_ZONE_ID_DAYLIGHT);
    TViewForm& window = open();
    EXPECT_EQ(window.tzState, platform::TIME_ZONE_ID_DAYLIGHT);
    EXPECT_EQ(window.Daytime->text(), "Fake Daylight Time");
    EXPECT_EQ(window.lblStandard->text(), "2nd Sunday in March");
    EXPECT_EQ(window.lblDaylight->text(), "1st Sunday in November");
}

TEST_F(Startup, TrayIconShowsWithItsTipAndLeavesAtExit)
{
    TViewForm& window = open();
    ASSERT_FALSE(tray.calls.empty());
    EXPECT_EQ(tray.calls.front().message, platform::NIM_ADD);
    EXPECT_EQ(tray.calls.front().tip, "");
    QCoreApplication::processEvents();
    EXPECT_EQ(tray.lastTip(), "Tikora 2.0");
    EXPECT_TRUE(tray.calls.back().hasIcon);
    window.FormDestroy();
    EXPECT_EQ(tray.calls.back().message, platform::NIM_DELETE);
    EXPECT_FALSE(tray.shown);
}

// Parking past the screen's edge left the window on screen under window
// managers that keep windows inside it: Start Minimized never shows it.
TEST_F(Startup, StartMinimizedKeepsTheWindowUnshownUntilTheTrayAsksForIt)
{
    using Command = void (*)(TViewForm&);
    const std::pair<const char*, Command> commands[] = {
        {"Properties", [](TViewForm& w) { w.mnuProperties->trigger(); }},
        {"Connect...", [](TViewForm& w) { w.mnuSynchro->trigger(); }},
        {"tray click",
         [](TViewForm& w) {
             platform::PostMessage(w.TrayIcon1->NotifyWindow(), ui::WM_TRAYNOTIFY, 0, platform::WM_LBUTTONUP);
             QCoreApplication::processEvents();
         }},
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        form.reset();
        writeSettings("[ViewForm]\nStartMin=1\nServer=127.0.0.1\n");
        TViewForm& window = open("1");   // nothing answers on port 1: a check ends at once
        window.ShowAtStart();
        QCoreApplication::processEvents();
        EXPECT_FALSE(window.isVisible());
        EXPECT_FALSE(window.testAttribute(Qt::WA_WState_Created)) << "never mapped";
        EXPECT_FALSE(window.Timer1->isActive());
        window.move(0, window.y());   // wherever the window system put it meanwhile
        command(window);
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.x(), screenWidth() / 2 - 122);
        EXPECT_TRUE(window.Timer1->isActive());
        // Only the first showing centres it again.
        window.move(5, window.y());
        window.mnuPropertiesClick();
        EXPECT_EQ(window.x(), 5);
    }
}

TEST_F(Startup, WithoutStartMinimizedTheStartShowsTheWindow)
{
    TViewForm& window = open();
    window.ShowAtStart();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.x(), screenWidth() / 2 - 122);
    window.btnMinimize->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Timer1->isActive());
}

TEST_F(Startup, WithoutNotificationAreaMinimizingIconifies)
{
    tray.available = false;
    writeSettings("[ViewForm]\nStartMin=1\n");
    TViewForm& window = open();
    window.ShowAtStart();
    EXPECT_EQ(window.x(), screenWidth() / 2 - 122);
    EXPECT_TRUE(window.windowState() & Qt::WindowMinimized);
    window.mnuPropertiesClick();
    EXPECT_FALSE(window.windowState() & Qt::WindowMinimized);
    window.btnMinimize->click();
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(window.Timer1->isActive());
}

TEST_F(Startup, ExitWritesTheSettingsAndAStartReadsThemBack)
{
    TViewForm& first = open();
    first.chkRetry->setChecked(false);
    first.chkExit->setChecked(true);
    first.SpinButton1->UpButton()->click();
    first.ComboServer->setEditText("time.example.org");
    first.btnExit->click();
    EXPECT_EQ(quits, 1);
    first.FormDestroy();
    const QByteArray written = readSettings();
    EXPECT_EQ(written, "[ViewForm]\nAutoConnect=0\nAutoMinimize=1\nAdjust=1\nStartMin=0\nTimeout=15\nRetry=0\n"
                       "Retrysecs=3\nServer=time.example.org\nAutostart=0\n\n[Info]\nLast Updated=12/7/26 12:00:00 PM\n");

    TViewForm& second = open();
    EXPECT_FALSE(second.chkRetry->isChecked());
    EXPECT_TRUE(second.chkExit->isChecked());
    EXPECT_EQ(second.TOEdit->text(), "15");
    EXPECT_EQ(second.cli.TimeOut(), 15);
    EXPECT_EQ(second.svrName->text(), "time.example.org");
    EXPECT_EQ(second.checkEngine().retriesLeft(), 0);
}

TEST_F(Startup, ValuesThatAreNoNumbersFallBack)
{
    writeSettings("[viewform]\nTimeout=abc\nRetrySecs=x1\nAdjust=yes\nAutoMinimize=0x1\nRetry=$0\nServer=\n");
    TViewForm& window = open();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(window.TOEdit->text(), "10");
    EXPECT_EQ(window.cli.TimeOut(), 10);
    EXPECT_EQ(window.edtRetry->text(), "3");
    EXPECT_TRUE(window.chkAdjust->isChecked());
    EXPECT_TRUE(window.chkExit->isChecked());
    EXPECT_FALSE(window.chkRetry->isChecked());
    EXPECT_EQ(window.checkEngine().retriesLeft(), 0);
    EXPECT_EQ(window.svrName->text(), "");
}

TEST_F(Startup, TimeOutStaysWithinTheSpinRange)
{
    writeSettings("[ViewForm]\nTimeout=99999\n");
    TViewForm& window = open();
    EXPECT_EQ(window.TOEdit->text(), "6000");
    window.SpinButton1->UpButton()->click();
    EXPECT_EQ(window.TOEdit->text(), "6000");
    form.reset();
    writeSettings("[ViewForm]\nTimeout=7\n");
    TViewForm& other = open();
    other.SpinButton1->UpButton()->click();
    EXPECT_EQ(other.cli.TimeOut(), 12);
    for (int i = 0; i < 4; ++i)
        other.SpinButton1->DownButton()->click();
    EXPECT_EQ(other.TOEdit->text(), "0");
    EXPECT_EQ(other.cli.TimeOut(), 0);
}

TEST_F(Startup, RetrySwitchAndCount)
{
    TViewForm& window = open();
    window.chkRetry->setChecked(false);
    EXPECT_EQ(window.checkEngine().retriesLeft(), 0);
    EXPECT_FALSE(window.edtRetry->isEnabled());
    window.edtRetry->setText("5");
    window.chkRetry->setChecked(true);
    EXPECT_EQ(window.checkEngine().retriesLeft(), 5);
    window.edtRetry->setText("x");
    EXPECT_EQ(window.checkEngine().retriesLeft(), 0);
}

TEST_F(Startup, ChoosingAServerNamesItAtOnce)
{
    TViewForm& window = open();
    window.ComboServer->setCurrentIndex(5);
    EXPECT_EQ(window.svrName->text(), window.ComboServer->itemText(5));
}

TEST_F(Startup, AFailedWriteIsReportedWithThePath)
{
    TViewForm& window = open();
    const QString blocked = config.path() + "/file";
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_CONFIG_HOME", (blocked + "/sub").toUtf8());
    window.iniFile = std::make_unique<platform::TIniFile>(app::kSettingsFileName);
    try {
        window.FormDestroy();
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Unable to write to " + (blocked + "/sub/Tikora.ini").toStdString() + ": Not a directory");
    }
}

TEST_F(Startup, TrayClickShowsTheWindowAndTheMenuConnects)
{
    TViewForm& window = open("1");   // nothing answers on port 1: the check ends at once
    window.btnMinimize->click();
    platform::PostMessage(window.TrayIcon1->NotifyWindow(), ui::WM_TRAYNOTIFY, 0, platform::WM_LBUTTONUP);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isVisible());
    window.TabbedNotebook1->setCurrentIndex(3);
    window.ComboServer->setEditText("127.0.0.1");
    window.mnuSynchro->trigger();
    EXPECT_EQ(window.TabbedNotebook1->currentIndex(), 0);
    EXPECT_EQ(window.checkEngine().checkNumber(), 1);
    ASSERT_FALSE(log().empty());
    EXPECT_EQ(log().front(), "1>Looking up host");
}

} // namespace
} // namespace testing_support
