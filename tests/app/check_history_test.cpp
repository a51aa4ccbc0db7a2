// The window's records: one per check that ends, with what was done to the
// clock, also when the time and date service answers later.
#include "app/window_fixture.h"

#include "app/time_peer.h"
#include "fakes/fake_timedate1.h"
#include "history/history_store.h"
#include "net/loopback.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

namespace testing_support {
namespace {

using history::ClockAction;
using platform::ClockShiftOutcome;

class CheckHistory : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        store = std::make_unique<history::HistoryStore>(folder.path().toStdString() + "/history.sqlite");
        ASSERT_TRUE(store->usable()) << store->error();
        history = store.get();
    }
    void answerAhead(int seconds) { form->showtime(timeAnswerOf(timestampOf(noon().addSecs(seconds)))); }

    QTemporaryDir folder;
    std::unique_ptr<history::HistoryStore> store;
    fakes::FakeTimeDate service;
};

TEST_F(CheckHistory, AStepAnsweredLaterUpdatesItsRecord)
{
    struct Case {
        const char* name;
        bool adjust;
        platform::ClockShiftResult answer;
        ClockAction action;
        std::optional<double> step;
        std::string detail;
    };
    const Case cases[] = {
        {"Adjust off", false, {}, ClockAction::Nothing, std::nullopt, ""},
        {"stepped", true, {ClockShiftOutcome::Shifted, {}}, ClockAction::Stepped, 7.0, ""},
        {"kept", true, {ClockShiftOutcome::KeptByTimeService, {}}, ClockAction::TimeService, std::nullopt, ""},
        {"refused", true, {ClockShiftOutcome::NotAuthorised, "AccessDenied: no"}, ClockAction::Refused, std::nullopt,
         "AccessDenied: no"},
        {"sync on", true, {ClockShiftOutcome::AutomaticSyncOn, {}}, ClockAction::Refused, std::nullopt,
         "automatic time synchronisation is on"},
    };
    timeDate = &service;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service.answer = c.answer;
        writeSettings(c.adjust ? "[ViewForm]\nAdjust=1\n" : "[ViewForm]\nAdjust=0\n");
        open();
        answerAhead(7);
        EXPECT_EQ(store->records().back().clockAction, c.adjust ? ClockAction::Pending : ClockAction::Nothing);
        EXPECT_EQ(store->records().back().offsetSeconds, 7.0);
        EXPECT_TRUE(!c.adjust || service.answerOne());
        const auto records = store->records();
        EXPECT_EQ(records.back().clockAction, c.action);
        EXPECT_EQ(records.back().stepSeconds, c.step);
        EXPECT_EQ(records.back().clockDetail, c.detail);
    }
    EXPECT_EQ(store->records().size(), std::size(cases));
}

// A second answer while the first step still waits: the second is refused at
// once, and the first's late answer lands on the first record.
TEST_F(CheckHistory, TwoStepsInFlightEachKeepTheirOwnRecord)
{
    timeDate = &service;
    writeSettings("[ViewForm]\nAdjust=1\n");
    open();
    answerAhead(7);
    answerAhead(9);
    ASSERT_TRUE(service.answerOne());
    const auto records = store->records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].clockAction, ClockAction::Stepped);
    EXPECT_EQ(records[0].stepSeconds, 7.0);
    EXPECT_EQ(records[1].clockAction, ClockAction::Refused);
    EXPECT_EQ(records[1].clockDetail, "an earlier clock change still awaits the system's answer");
}

// A real check that fails: its record holds the address asked and the log's reason.
TEST_F(CheckHistory, AFailedCheckIsRecordedWithItsReason)
{
    TimePeer closed(TimePeer::Answer::CloseAtOnce, {});
    writeSettings("[ViewForm]\nServer=127.0.0.1\nTimeout=5\nRetry=0\n");
    TViewForm& window = open(std::to_string(closed.port()));
    window.btnConnect->click();
    ASSERT_TRUE(pumpUntil([&] { return window.btnConnect->isEnabled(); }, 30000));
    const auto records = store->records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].address, "127.0.0.1");
    EXPECT_EQ(">" + records[0].failureReason, log().back().substr(1));
}

TEST_F(CheckHistory, AnUnusableHistoryIsOneLineAndTheCheckGoesOn)
{
    const std::string path = folder.path().toStdString() + "/taken";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path)));
    history::HistoryStore unusable(path);
    history = &unusable;
    writeSettings("[ViewForm]\nAdjust=0\n");
    open();
    answerAhead(7);
    answerAhead(8);
    const auto lines = log();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], ">" + unusable.error());
    EXPECT_NE(lines[0].find("checks are not recorded"), std::string::npos);
    EXPECT_EQ(lines[2], "0>Disconnected.");
    EXPECT_EQ(form->Correction->text().toStdString(), "+ 8.00 s");
}

} // namespace
} // namespace testing_support
