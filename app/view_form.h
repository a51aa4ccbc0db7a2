#pragma once
// The main window: its components and every handler of the time check, the
// settings, the window commands and the almanac tick.

#include "app/check_recorder.h"
#include "app/time_servers.h"
#include "check/answer.h"
#include "check/check_engine.h"
#include "check/multi_source_check.h"
#include "check/ntp_protocol.h"
#include "check/nts_key_exchange.h"
#include "check/nts_protocol.h"
#include "check/rfc868_protocol.h"
#include "check/timer_scheduler.h"
#include "net/client_socket.h"
#include "platform/clock_service.h"
#include "platform/date_format.h"
#include "ui/view_form_layout.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

class QAction;
class QMenu;
class QTimer;

namespace platform {
class NotificationArea;
class ScreenCursor;
class SystemClock;
class SystemTimeService;
class TIniFile;
class TimeZoneService;
class TimeDateService;
} // namespace platform

namespace check {
class KissStore;
class Transport;
} // namespace check

namespace app {
class HistoryView;
class RepeatChecks;
class SettingsSaver;
struct SettingBinding;
struct SettingsValues;
} // namespace app

namespace ui {
class TMoonForm;
class TTrayIcon;
} // namespace ui

// The operating-system services the window uses; main picks the real ones,
// tests the fakes.
struct ViewFormServices {
    platform::TimeZoneService& zone;
    platform::SystemClock& clock;
    platform::SystemTimeService& systemTime;
    platform::NotificationArea& notificationArea;
    platform::ScreenCursor& cursor;
    platform::FormatSettings format;
    std::string timePort = "time";   // the service or port number asked for the time
    std::function<void()> quit;      // ends the program when the window closes
    // The system's time and date service; none: the clock is set with the right alone.
    platform::TimeDateService* timeDate = nullptr;
    std::string autostartProgram = "tikora";   // what the session's autostart entry starts
    std::string ntpPort = "ntp";     // the service or port number asked over NTP
    // The clocks an NTP exchange reads; none: the system's.
    platform::PreciseClock* preciseClock = nullptr;
    // The network the check runs on; none: the real one.
    check::Transport* transport = nullptr;
    // Servers that sent kiss-o'-death; none: not remembered.
    check::KissStore* kissStore = nullptr;
    // Server times before this are refused; none: the program's build date.
    std::optional<std::int64_t> earliestServerTime = std::nullopt;
    // Where each check is recorded; none: nowhere.
    history::HistoryStore* history = nullptr;
    // Authenticated time: the key exchange's port, and a certificate file
    // trusted instead of the system's (empty: the system's).
    std::string ntsPort = "4460";
    std::string ntsCaFile = {};
    // One transport per source of a check of several servers; none: the real network.
    check::MultiSourceCheck::TransportFactory transports = nullptr;
};

class TViewForm : public ui::TViewFormLayout {
public:
    explicit TViewForm(const ViewFormServices& services, QWidget* parent = nullptr);
    ~TViewForm() override;

    // Components. The client's TimeOut is the check's time-out setting.
    TClientSocket cli;

private:
    // The check runs on the engine; the window presents its events.
    check::Rfc868Protocol timeProtocol_{check::SocketKind::Stream};
    platform::LinuxPreciseClock systemPreciseClock_;
    check::NtpProtocol ntpProtocol_;   // one sample: the window shows one correction
    std::unique_ptr<check::Transport> ownTransport_;
    check::TimerScheduler scheduler_;
    std::unique_ptr<check::CheckEngine> checkEngine_;
    // Authenticated time: the keys and unused cookies of each server are kept
    // for the program's life, so a second check needs no key exchange.
    platform::GnutlsAeadSiv aead_;
    check::NtsProtocol ntsProtocol_;
    check::NtsKeyExchange keyExchange_;
    check::NtsSessions ntsSessions_;
    std::string ntsSessionKey_;        // the running check's entry in ntsSessions_
    bool ntsFreshExchangeUsed_ = false;   // one new exchange per check on NTSN
    std::unique_ptr<platform::ClockService> clockService_;
    std::unique_ptr<app::CheckRecorder> recorder_;

public:
    ui::TTrayIcon* TrayIcon1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* mnuSynchro = nullptr;
    QAction* mnuProperties = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuHistory = nullptr;   // the tray menu's "History..."
    QAction* actHistory = nullptr;   // the window's: Ctrl+H and its context menu
    QTimer* Timer1 = nullptr;
    // The list dialog: made after this window and given to it; lives as long.
    ui::TMoonForm* MoonForm = nullptr;
    // Writes the settings soon after each change (made in FormCreate).
    app::SettingsSaver* settingsSaver = nullptr;

    // Start-up, exit and window commands.
    void FormCreate();
    // Shows the window unless Start Minimized keeps it in the notification area.
    void ShowAtStart();
    void FormDestroy();
    void btnExitClick();
    void mnuExitClick();
    void btnMinimizeClick();
    void mnuPropertiesClick();
    void mnuSynchroClick();
    // The History window (one at a time) and the repeating checks.
    void mnuHistoryClick();
    void ComboRepeatChange();
    int repeatHoursShown() const;
    void setRepeatHoursShown(int hours);
    app::HistoryView& historyView() { return *historyView_; }
    app::RepeatChecks& repeatChecks() { return *repeatChecks_; }
    // Options page.
    void TOEditChange();
    void SpinButton1UpClick();
    void SpinButton1DownClick();
    void chkRetryClick();
    void edtRetryChange();
    void ComboServerChange();
    void ComboProtocolChange();
    void chkAutostartClick();
    // The time check.
    void btnConnectClick();
    void btnStopClick();
    // The result and the clock correction.
    void showtime(const check::CheckResult& result);
    // The almanac.
    void Timer1Timer();
    void getmoon();
    QString FormatUtc(double moment) const;
    // The lists.
    void btnNewMoonsClick();
    void btnMeteorClick();
    void JtoD(double j, int& month, int& day, int& year) const;

    // Private state of the design, readable by tests.
    int svrHour = 0;
    int svrMin = 0;
    int svrSec = 0;
    int NewMoonsClicks = 0;
    int MeteorClicks = 0;
    std::uint32_t tzState = 0;
    std::unique_ptr<platform::TIniFile> iniFile;

    // The check's numbers are the engine's; tests read and set them there.
    check::CheckEngine& checkEngine() { return *checkEngine_; }
    const check::CheckEngine& checkEngine() const { return *checkEngine_; }
    bool CheckRunning() const { return checkEngine_->running() || severalRunning_; }

    // Every key of the settings file and the control that shows it.
    static std::span<const app::SettingBinding> settingsTable();

protected:
    void setVisible(bool visible) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createComponents();
    void connectHandlers();
    void readSettings();
    void watchSettings();
    app::SettingsValues settingsShown() const;
    void writeSettings(const app::SettingsValues& values);
    std::string lastUpdatedText() const;
    void log(const std::string& message);
    void stepGauge(int amount);
    void setIdle();
    void setToolTip(const std::string& text);
    void presentCheckEvents();
    void logNumbered(int number, const std::string& message);
    void endRetryRun();
    void peerClosed();
    int retriesAllowed() const;
    void presentAnswer(const check::Answer& answer);
    void setTimeOutText(int seconds);
    void listServers(app::TimeProtocol protocol);
    app::TimeProtocol chosenProtocol() const;
    void setChosenProtocol(app::TimeProtocol protocol);
    void useChosenProtocol();
    void correctClock(const platform::ClockStep& step, const std::function<void()>& then);
    void clockStepAnswered(int number, const platform::ClockStepReport& report);
    void endCheck(int number);
    history::CheckAsked checkAsked() const;
    void reportHistoryProblem(const std::string& problem);
    // Authenticated time (app/nts_check.cpp).
    void startNtsCheck(const std::string& host);
    void ntsKeyExchangeDone(int number, const check::KeyExchangeOutcome& outcome);
    void startNtsEngine();
    bool ntsExchangeAgain();
    int screenWidth() const;
    int centredLeft() const;
    int localDatePart(const char* pattern) const;
    void showMoonForm();
    void centreIfHiddenAtStart();
    void showForm();
    bool hasNotificationArea() const;
    check::LocalReading localReading() const;

    // Several servers at once (app/several_servers.cpp).
    bool startSeveralServers(const std::string& text);
    void stopSeveralServers();
    void severalServersEnded(const check::MultiSourceResult& result);
    check::TimerScheduler severalScheduler_;
    check::SourceAddresses severalAddresses_;
    std::unique_ptr<check::MultiSourceCheck> severalCheck_;
    bool severalRunning_ = false;
    bool severalStopped_ = false;

    void setUpHistoryAndRepeats();
    void watchNetwork();

    ViewFormServices services_;
    std::unique_ptr<app::HistoryView> historyView_;
    check::TimerScheduler repeatScheduler_;
    std::unique_ptr<app::RepeatChecks> repeatChecks_;
    bool watchingNetwork_ = false;
    bool hiddenAtStart_ = false;   // Start Minimized: not shown since the start
    app::TimeProtocol listedProtocol_ = app::TimeProtocol::Time;   // whose servers the drop-down lists
};
