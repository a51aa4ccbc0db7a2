// One table drives the settings: every row is read at start, written at exit
// and saved soon after its control changes.
#include "app/settings_saver.h"
#include "app/settings_table.h"
#include "app/window_fixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLineEdit>

#include <string>

namespace testing_support {
namespace {

// A change of any control the table may bind, away from what it shows.
void changeControl(QWidget* control)
{
    if (auto* box = qobject_cast<QAbstractButton*>(control)) {
        box->click();
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText("7");
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->isEditable())
            combo->setEditText("clock.example");
        else
            combo->setCurrentIndex((combo->currentIndex() + 1) % combo->count());
    } else {
        FAIL() << "no way to change " << control->objectName().toStdString();
    }
}

using SettingsTable = WindowTest;

TEST_F(SettingsTable, WithoutAFileEveryControlShowsItsDefault)
{
    TViewForm& window = open();
    for (const app::SettingBinding& row : TViewForm::settingsTable()) {
        if (row.read) {
            EXPECT_EQ(row.shown(window), row.key.defaultValue) << row.key.writtenKey;
        }
    }
}

TEST_F(SettingsTable, EachBoundControlPutsItsKeyOnDiskSoonAfterItsChange)
{
    for (const app::SettingBinding& row : TViewForm::settingsTable()) {
        if (!row.control)
            continue;
        SCOPED_TRACE(row.key.writtenKey);
        form.reset();
        ASSERT_TRUE(QFile::remove(settingsPath()) || !QFile::exists(settingsPath()));
        TViewForm& window = open();
        changeControl(row.control(window));
        const std::string value = row.shown(window), line = std::string(row.key.writtenKey) + "=" + value + "\n";
        EXPECT_NE(value, row.key.defaultValue);
        // The change itself asked for the save; the saver's timer writes it
        // (a generous bound for a loaded machine: nothing else writes here).
        EXPECT_TRUE(window.settingsSaver->Pending());
        const QDeadlineTimer deadline(10000);
        while (!readSettings().contains(line) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        EXPECT_TRUE(readSettings().contains(line)) << readSettings().toStdString();
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(SettingsTable, WhatTheExitWritesTheNextStartReadsBack)
{
    TViewForm& first = open();
    for (const app::SettingBinding& row : TViewForm::settingsTable())
        if (row.control)
            changeControl(row.control(first));
    std::vector<std::string> shown;
    for (const app::SettingBinding& row : TViewForm::settingsTable())
        shown.push_back(row.read ? row.shown(first) : "");
    first.FormDestroy();
    form.reset();

    TViewForm& second = open();
    const auto rows = TViewForm::settingsTable();
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].read ? rows[i].shown(second) : "", shown[i]) << rows[i].key.writtenKey;
    EXPECT_TRUE(errors.empty());
}

} // namespace
} // namespace testing_support
