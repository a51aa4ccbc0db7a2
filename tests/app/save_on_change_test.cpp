// The settings reach the disk soon after each change, not only at exit.
#include "app/settings_saver.h"
#include "app/time_servers.h"
#include "app/window_fixture.h"
#include "ui/spin_button.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QToolButton>

#include <functional>

namespace testing_support {
namespace {

class SaveOnChange : public WindowTest {
protected:
    // Runs the loop until the file holds `line` or a generous bound passes.
    bool settingsGain(const QByteArray& line)
    {
        const QDeadlineTimer deadline(10000);
        while (!readSettings().contains(line) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return readSettings().contains(line);
    }
    // Runs the loop until the saver has nothing pending (bounded).
    void settle()
    {
        const QDeadlineTimer deadline(10000);
        while (form->settingsSaver->Pending() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::processEvents();
    }
};

TEST_F(SaveOnChange, EveryControlThatIsSavedWritesTheFileSoonAfterItsChange)
{
    struct Case {
        const char* what;
        std::function<void(TViewForm&)> change;
        QByteArray line;
    };
    const Case cases[] = {
        {"auto-connect", [](TViewForm& w) { w.chkAutoConnect->click(); }, "AutoConnect=1"},
        {"minimize after check", [](TViewForm& w) { w.chkExit->click(); }, "AutoMinimize=1"},
        {"start minimized", [](TViewForm& w) { w.chkStartMin->click(); }, "StartMin=1"},
        {"adjust", [](TViewForm& w) { w.chkAdjust->click(); }, "Adjust=0"},
        {"retry", [](TViewForm& w) { w.chkRetry->click(); }, "Retry=0"},
        {"retry count", [](TViewForm& w) { w.edtRetry->setText("7"); }, "Retrysecs=7"},
        {"time-out up", [](TViewForm& w) { w.SpinButton1->UpButton()->click(); }, "Timeout=15"},
        {"server from the list", [](TViewForm& w) { w.ComboServer->setCurrentIndex(2); }, QByteArray("Server=") + app::kTimeServers[2]},
        {"server typed", [](TViewForm& w) { w.ComboServer->setEditText("clock.example"); }, "Server=clock.example"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(QFile::remove(settingsPath()) || !QFile::exists(settingsPath()));
        TViewForm& window = open();
        c.change(window);
        EXPECT_TRUE(settingsGain(c.line)) << c.what << ": " << readSettings().toStdString();
        EXPECT_TRUE(readSettings().contains("[Info]\nLast Updated=")) << c.what;
        form.reset();
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(SaveOnChange, AnIdleWindowAndAChangeUndoneLeaveTheFileAlone)
{
    const QByteArray original = "; mine\n[ViewForm]\nAdjust=0\nTimeout=7x\n";
    writeSettings(original);
    const QDateTime written = QFileInfo(settingsPath()).lastModified();
    TViewForm& window = open();
    window.chkAutoConnect->click();
    window.chkAutoConnect->click();
    settle();
    // Several delays more: still nothing.
    QDeadlineTimer idle(4 * app::SettingsSaver::kDelay.count());
    while (!idle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(readSettings(), original);
    EXPECT_EQ(QFileInfo(settingsPath()).lastModified(), written);
}

TEST_F(SaveOnChange, ChangesSavedKeepTheLinesTheProgramDoesNotOwnAndExitWritesTheSame)
{
    writeSettings("; mine\r\n[ViewForm]\r\nAdjust=0\r\n[Other]\r\nkey=value\r\n");
    TViewForm& window = open();
    window.chkExit->click();
    ASSERT_TRUE(settingsGain("AutoMinimize=1"));
    const QByteArray saved = readSettings();
    EXPECT_TRUE(saved.startsWith("; mine\r\n[ViewForm]\r\nAdjust=0\r\n")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("[Other]\r\nkey=value\r\n"));
    EXPECT_TRUE(saved.contains("Retrysecs=3\r\n"));
    window.FormDestroy();
    EXPECT_EQ(readSettings(), saved);   // same moment, same values
    EXPECT_FALSE(window.settingsSaver->Pending());
}

TEST_F(SaveOnChange, ExitRightAfterAChangeWritesItOnceAndNothingFollows)
{
    TViewForm& window = open();
    window.chkAdjust->click();
    window.FormDestroy();
    EXPECT_TRUE(readSettings().contains("Adjust=0"));
    ASSERT_TRUE(QFile::remove(settingsPath()));
    settle();
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST_F(SaveOnChange, AFailedWriteIsReportedOnceAndTheNextChangeAfterARepairSaves)
{
    // A plain file where the settings directory should be: no write can succeed.
    const QString blocked = config.path() + "/blocked";
    { QFile file(blocked); ASSERT_TRUE(file.open(QIODevice::WriteOnly)); }
    qputenv("XDG_CONFIG_HOME", (blocked + "/config").toUtf8());
    TViewForm& window = open();
    window.chkAdjust->click();
    settle();
    window.chkRetry->click();
    settle();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Unable to write to " + (blocked + "/config/Tikora.ini").toStdString() + ": Not a directory");
    // Still running: the window answers and, once the disk takes it, the file follows.
    ASSERT_TRUE(QFile::remove(blocked));
    window.chkStartMin->click();
    settle();
    QFile file(blocked + "/config/Tikora.ini");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    EXPECT_TRUE(saved.contains("Adjust=0") && saved.contains("Retry=0") && saved.contains("StartMin=1"))
        << saved.toStdString();
    EXPECT_EQ(errors.size(), 1u);
}

} // namespace
} // namespace testing_support
