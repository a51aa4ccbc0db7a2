// The Protocol choice in the window: the key in the settings file, the server
// list it offers, and whole NTP checks against a loopback server.
#include "app/window_fixture.h"

#include "app/ntp_responder.h"
#include "app/time_servers.h"
#include "fakes/fake_timedate1.h"
#include "net/loopback.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPushButton>

#include <cstdlib>

namespace testing_support {
namespace {

using Lines = std::vector<std::string>;
using app::TimeProtocol;

constexpr std::int64_t kSecond = 1000000000;

class NtpWindow : public WindowTest {
protected:
    TimeProtocol shown() const
    {
        return form->ComboProtocol->currentText() == "NTP" ? TimeProtocol::Ntp : TimeProtocol::Time;
    }
    // A window set to NTP against the loopback responder, Adjust on.
    TViewForm& openOn(const NtpResponder& peer, const QByteArray& extra = "")
    {
        writeSettings("[ViewForm]\nProtocol=NTP\nServer=127.0.0.1\nTimeout=2\nAdjust=1\n" + extra);
        ntpPort = std::to_string(peer.port());
        return open(std::to_string(closedPort()));   // the Time protocol's: refused
    }
    bool runUntilIdle()
    {
        return pumpUntil([this] { return form->btnConnect->isEnabled() && !form->CheckRunning(); }, 8000);
    }
    bool lineLogged(const std::string& line) const
    {
        const Lines lines = log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(NtpWindow, TheKeyIsReadAsWrittenAndAnythingElseIsTheTimeProtocol)
{
    struct Case {
        const char* file;
        TimeProtocol expected;
        const char* server;   // the server shown when the file names none
    };
    const Case cases[] = {
        {"[ViewForm]\nAdjust=0\n", TimeProtocol::Time, app::kTimeServers[0]},
        {"[ViewForm]\nProtocol=Time\n", TimeProtocol::Time, app::kTimeServers[0]},
        {"[ViewForm]\nProtocol=NTP\n", TimeProtocol::Ntp, app::kNtpServers[0]},
        {"[ViewForm]\nProtocol=ntp\n", TimeProtocol::Ntp, app::kNtpServers[0]},
        {"[ViewForm]\nProtocol=NTPv4\n", TimeProtocol::Time, app::kTimeServers[0]},
        {"[ViewForm]\nProtocol=\n", TimeProtocol::Time, app::kTimeServers[0]},
    };
    for (const Case& c : cases) {
        writeSettings(c.file);
        open();
        EXPECT_EQ(shown(), c.expected) << c.file;
        EXPECT_EQ(form->svrName->text().toStdString(), c.server) << c.file;
        EXPECT_EQ(form->ComboServer->itemText(0).toStdString(), c.server) << c.file;
        form.reset();
    }
}

TEST_F(NtpWindow, ExitWritesTheChoiceButLeavesAnOlderFileWithoutIt)
{
    struct Case {
        const char* file;
        int chosen;   // the Protocol box's item at exit
        const char* expected;
        bool keyExpected;
    };
    const Case cases[] = {
        {"[ViewForm]\nAdjust=0\n", 0, "", false},
        {"[ViewForm]\nAdjust=0\n", 1, "Protocol=NTP\n", true},
        {"[ViewForm]\nProtocol=NTP\n", 0, "Protocol=Time\n", true},
        {"[ViewForm]\nProtocol=garbage\n", 0, "Protocol=Time\n", true},
    };
    for (const Case& c : cases) {
        writeSettings(c.file);
        open().ComboProtocol->setCurrentIndex(c.chosen);
        form->FormDestroy();
        const QByteArray written = readSettings();
        EXPECT_EQ(written.contains("Protocol="), c.keyExpected) << c.file << written.toStdString();
        if (c.keyExpected) {
            EXPECT_TRUE(written.contains(c.expected)) << c.file << written.toStdString();
        }
        form.reset();
    }
}

TEST_F(NtpWindow, AChangeOfProtocolIsSavedSoon)
{
    TViewForm& window = open();
    window.ComboProtocol->setCurrentIndex(1);
    const QDeadlineTimer deadline(10000);
    while (!readSettings().contains("Protocol=NTP") && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(readSettings().contains("Protocol=NTP\n")) << readSettings().toStdString();
    EXPECT_TRUE(readSettings().contains(QByteArray("Server=") + app::kNtpServers[0]));
}

TEST_F(NtpWindow, SwitchingSwapsTheListAndKeepsATypedServer)
{
    struct Case {
        const char* server;   // shown before the switch to NTP
        std::string afterNtp;
        std::string afterTime;   // and after switching back
    };
    const Case cases[] = {
        {app::kTimeServers[0], app::kNtpServers[0], app::kTimeServers[0]},
        {app::kTimeServers[5], app::kNtpServers[0], app::kTimeServers[0]},
        {"ptbtime2.ptb.de", app::kNtpServers[0], app::kTimeServers[0]},   // in both lists: picked from the first
        {"clock.example.org", "clock.example.org", "clock.example.org"},
        {"127.0.0.1", "127.0.0.1", "127.0.0.1"},
    };
    for (const Case& c : cases) {
        TViewForm& window = open();
        window.ComboServer->setEditText(c.server);
        window.ComboProtocol->setCurrentIndex(1);
        EXPECT_EQ(window.ComboServer->count(), int(app::kNtpServers.size())) << c.server;
        EXPECT_EQ(window.ComboServer->itemText(1).toStdString(), app::kNtpServers[1]);
        EXPECT_EQ(window.svrName->text().toStdString(), c.afterNtp) << c.server;
        EXPECT_EQ(window.ComboServer->currentText().toStdString(), c.afterNtp) << c.server;
        window.ComboProtocol->setCurrentIndex(0);
        EXPECT_EQ(window.ComboServer->count(), int(app::kTimeServers.size())) << c.server;
        EXPECT_EQ(window.svrName->text().toStdString(), c.afterTime) << c.server;
        form.reset();
    }
}

TEST_F(NtpWindow, ACheckStepsTheClockByTheMeasuredOffsetOnce)
{
    NtpResponder peer(2300 * 1000000LL);   // the server 2.3 s ahead
    TViewForm& window = openOn(peer);
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    const Lines lines = log();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines.front(), "1>Looking up host");
    EXPECT_TRUE(lineLogged("1>Correcting System Time"));
    EXPECT_TRUE(lineLogged("1>Clock set to 12:00:00 PM"));
    EXPECT_EQ(lines.back(), "1>Disconnected.");
    EXPECT_EQ(peer.answered(), 1);

    // Loose: the loopback's round trip and the thread's wake-up are noise.
    ASSERT_EQ(systemTime.steps.size(), 1u);
    EXPECT_LT(std::llabs(systemTime.steps[0] - 2300 * 1000000LL), kSecond / 5) << systemTime.steps[0];
    EXPECT_EQ(systemTime.calls, (Lines{"privilege on SeSystemtimePrivilege", "step",
                                       "privilege off SeSystemtimePrivilege"}));
    EXPECT_TRUE(systemTime.setRecords.empty());
    EXPECT_EQ(window.Correction->text().left(4), "+ 2.") << window.Correction->text().toStdString();
    EXPECT_EQ(window.Correction->text().size(), 9);   // "+ 2.300 s": three decimals
    EXPECT_EQ(window.svrTime->text(), "12:00:02 PM");
    EXPECT_EQ(window.lclTime->text(), "12:00:00 PM");
    EXPECT_EQ(tray.lastTip(), "Clock adjusted " + window.Correction->text().toStdString());
    EXPECT_TRUE(errors.empty());
}

TEST_F(NtpWindow, MatchingClocksAreLeftAloneAndAClockAheadIsSteppedBack)
{
    struct Case {
        std::int64_t offsetNs;
        bool stepped;
    };
    for (const Case c : {Case{0, false}, Case{-1500 * 1000000LL, true}}) {
        NtpResponder peer(c.offsetNs);
        TViewForm& window = openOn(peer);
        window.btnConnect->click();
        ASSERT_TRUE(runUntilIdle());
        EXPECT_EQ(log().back(), "1>Disconnected.");
        EXPECT_EQ(lineLogged("1>Correcting System Time"), c.stepped) << c.offsetNs;
        if (c.stepped) {
            ASSERT_EQ(systemTime.steps.size(), 1u);
            EXPECT_LT(std::llabs(systemTime.steps[0] - c.offsetNs), kSecond / 5);
            EXPECT_EQ(window.Correction->text().left(4), "- 1.");
        } else {
            EXPECT_TRUE(systemTime.calls.empty());
            EXPECT_EQ(window.Correction->text(), "Clocks Match!");
            EXPECT_EQ(tray.lastTip(), "Clock is synchronized!");
        }
        form.reset();
        systemTime.steps.clear();
        systemTime.calls.clear();
    }
}

TEST_F(NtpWindow, TheTimeServiceGetsMicrosecondsAndAKeptClockIsNotStepped)
{
    fakes::FakeTimeDate service;
    timeDate = &service;
    NtpResponder peer(1234567891);
    openOn(peer);
    form->btnConnect->click();
    ASSERT_TRUE(pumpUntil([&] { return service.waiting() == 1; }, 8000));
    ASSERT_EQ(service.asked.size(), 1u);
    EXPECT_LT(std::llabs(service.asked[0] - 1234568), 200000) << service.asked[0];
    ASSERT_TRUE(service.answerOne());
    EXPECT_TRUE(lineLogged("1>Clock set to 12:00:00 PM"));
    EXPECT_TRUE(systemTime.calls.empty());
    form.reset();

    // Without the service, a clock the kernel reports disciplined is left to it.
    timeDate = nullptr;
    systemTime.kernelSynchronised = true;
    openOn(peer);
    form->btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    EXPECT_TRUE(lineLogged("1>The system's time service keeps the clock: not changed."));
    EXPECT_TRUE(systemTime.steps.empty());
}

TEST_F(NtpWindow, TheTimeProtocolIsUsedAgainAfterSwitchingBack)
{
    NtpResponder peer(0);
    TViewForm& window = openOn(peer);
    window.ComboProtocol->setCurrentIndex(0);
    window.ComboServer->setEditText("127.0.0.1");
    window.btnConnect->click();
    ASSERT_TRUE(runUntilIdle());
    // The Time protocol's port over TCP: refused, where the NTP responder would have answered.
    EXPECT_EQ(log().back(), "1>Error 10061 (Connection refused) connecting");
    EXPECT_EQ(peer.answered(), 0);
    EXPECT_TRUE(systemTime.calls.empty());
}

} // namespace
} // namespace testing_support
