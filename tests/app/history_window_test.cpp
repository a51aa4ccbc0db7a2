// The History window on a real history file in a temporary data folder: one
// window however often it is asked for, the list and the drift from the
// file, the CSV export with quoting, and a file that is no database.
#include "app/history_view.h"
#include "app/repeat_checks.h"
#include "app/window_fixture.h"
#include "history/history_store.h"
#include "ui/history_table_model.h"
#include "ui/history_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

namespace testing_support {
namespace {

class HistoryWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(data.isValid());
        previousData = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", data.path().toUtf8());
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        qputenv("XDG_DATA_HOME", previousData);
    }

    // Hourly checks of a clock 5 ppm slow, the first server's name awkward for CSV.
    void record(int count)
    {
        history::HistoryStore store(history::DefaultHistoryPath());
        ASSERT_TRUE(store.usable()) << store.error();
        for (int i = 0; i < count; ++i) {
            history::CheckRecord r;
            r.timeUnixMs = noon().toMSecsSinceEpoch() - std::int64_t(count - i) * 3'600'000;
            r.server = i == 0 ? "odd,\"name\"" : "time.example.org";
            r.address = "127.0.0.1";
            r.protocol = "ntp";
            r.completed = i != 1;
            if (r.completed) {
                r.offsetSeconds = 0.001 + 5e-6 * 3600 * i;
                r.errorBoundSeconds = 0.0002;
            } else {
                r.failureReason = "the \"server\" said no, twice";
            }
            ASSERT_TRUE(store.append(r)) << store.error();
        }
    }

    int historyWindows() const
    {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (dynamic_cast<ui::THistoryWindow*>(widget) && widget->isVisible())
                ++count;
        return count;
    }

    QTemporaryDir data;
    QByteArray previousData;
};

TEST_F(HistoryWindowTest, OneWindowFromTrayOrShortcutWithTheFileRecords)
{
    record(6);
    TViewForm& window = open();
    ASSERT_TRUE(window.mnuHistory);
    EXPECT_TRUE(window.PopupMenu1->actions().contains(window.mnuHistory));

    window.mnuHistory->trigger();
    QApplication::processEvents();
    ui::THistoryWindow* history = window.historyView().window();
    ASSERT_TRUE(history);
    EXPECT_FALSE(history->parentWidget());
    EXPECT_TRUE(history->isVisible());
    EXPECT_EQ(history->model->rowCount(), 6);
    // Newest first in the list.
    EXPECT_EQ(history->model->index(0, ui::colServer).data().toString(), "time.example.org");
    EXPECT_EQ(history->model->index(5, ui::colServer).data().toString(), "odd,\"name\"");
    EXPECT_TRUE(history->model->index(4, ui::colOutcome).data().toString().startsWith("failed: the"));
    EXPECT_TRUE(history->driftLabel->text().startsWith("Drift: +5.0")) << history->driftLabel->text().toStdString();
    // At 200% a laptop's screen is small: the window must fit the room it has (800x600 here).
    const QRect room = history->screen()->availableGeometry();
    EXPECT_TRUE(room.contains(history->frameGeometry())) << history->width() << "x" << history->height();

    window.actHistory->trigger();
    window.mnuHistory->trigger();
    QApplication::processEvents();
    EXPECT_EQ(window.historyView().window(), history) << "raised, not opened again";
    EXPECT_EQ(historyWindows(), 1);

    // Closed, it goes; the next opening reads the file again.
    history->close();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(window.historyView().window());
    record(1);
    window.mnuHistory->trigger();
    ASSERT_TRUE(window.historyView().window());
    EXPECT_EQ(window.historyView().window()->model->rowCount(), 7);
}

TEST_F(HistoryWindowTest, ExportQuotesCommasAndQuotesAndReportsAFailedWrite)
{
    record(3);
    TViewForm& window = open();
    window.mnuHistory->trigger();
    ui::THistoryWindow* history = window.historyView().window();
    ASSERT_TRUE(history && history->exportCsv);
    EXPECT_TRUE(history->btnExport->isEnabled());

    const QString path = data.filePath("out.csv");
    EXPECT_EQ(history->exportCsv(path.toStdString()), "");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[1].contains(",\"odd,\"\"name\"\"\",")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].contains("\"the \"\"server\"\" said no, twice\"")) << lines[2].toStdString();

    // Beneath a file, no folder can be made: the reason comes back, nothing is written.
    const std::string failure = history->exportCsv(path.toStdString() + "/out.csv");
    EXPECT_FALSE(failure.empty());
    EXPECT_TRUE(QFile::exists(path)) << "the first export is untouched";
}

TEST_F(HistoryWindowTest, AnEmptyOrDamagedHistoryStillOpens)
{
    TViewForm& window = open();
    window.mnuHistory->trigger();
    ui::THistoryWindow* history = window.historyView().window();
    ASSERT_TRUE(history);
    EXPECT_EQ(history->model->rowCount(), 0);
    EXPECT_TRUE(history->driftLabel->text().startsWith("Drift: not enough checks yet"));
    EXPECT_FALSE(history->btnExport->isEnabled()) << "nothing to export";
    delete history;

    // A file that is no database: the window says so or starts empty, never fails.
    QFile garbage(QString::fromStdString(history::DefaultHistoryPath()));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
    garbage.write(QByteArray(4096, 'x'));
    garbage.close();
    window.mnuHistory->trigger();
    ASSERT_TRUE(window.historyView().window());
    EXPECT_EQ(window.historyView().window()->model->rowCount(), 0);
    window.historyView().window()->grab();
}

// The key's values are the settings table's and RepeatHoursFromText's tests.
TEST_F(HistoryWindowTest, RepeatingFollowsTheSettingAndTheBox)
{
    writeSettings("[ViewForm]\nRepeatHours=6\n");
    TViewForm& window = open();
    EXPECT_EQ(window.repeatChecks().everyHours(), 6);
    // Chosen in the window: repeating starts at once.
    window.ComboRepeat->setCurrentIndex(3);
    EXPECT_EQ(window.repeatChecks().everyHours(), 3);
    EXPECT_EQ(window.repeatChecks().lastDecision().kind, app::RepeatDecision::Wait);
}

} // namespace
} // namespace testing_support
