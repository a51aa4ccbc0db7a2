#pragma once
// The main window: its components and every handler of the time check, the
// settings, the window commands and the almanac tick.

#include "app/time_servers.h"
#include "check/check_engine.h"
#include "check/ntp_protocol.h"
#include "check/rfc868_protocol.h"
#include "net/client_socket.h"
#include "net/timestamp.h"
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
struct ClockShiftResult;
} // namespace platform

namespace app {
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
};

// A relative change of the clock, and how it is made without the time and
// date service.
struct ClockStep {
    std::int64_t nanoseconds = 0;
    // The Time protocol's whole seconds are set as a date-time record, as they
    // always were; a measured offset is one relative step in the kernel.
    bool asRecord = false;
};

class TViewForm : public ui::TViewFormLayout {
public:
    explicit TViewForm(const ViewFormServices& services, QWidget* parent = nullptr);
    ~TViewForm() override;

    // Components.
    TClientSocket cli;

private:
    // The check runs on the engine; the window presents its events. Declared
    // here: the design's counters below are the engine's own.
    check::Rfc868Protocol timeProtocol_{check::SocketKind::Stream};
    platform::LinuxPreciseClock systemPreciseClock_;
    check::NtpProtocol ntpProtocol_;   // one sample: the window shows one correction
    check::CheckEngine checkEngine_{cli, timeProtocol_, {}};

public:
    ui::TTrayIcon* TrayIcon1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* mnuSynchro = nullptr;
    QAction* mnuProperties = nullptr;
    QAction* mnuExit = nullptr;
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
    void cliInfo(TSockCtrl* Sender, TSockInfo icode, TSocketBase* Socket);
    void cliConnect(TSockCtrl* Sender, TSocketBase* Socket);
    void cliRead(TSockCtrl* Sender, TSocketBase* Socket);
    void cliDisconnect(TSockCtrl* Sender, TSocketBase* Socket);
    void cliTimeOut(TSockCtrl* Sender, TSocketBase* Socket);
    void resetcon(TSocketBase* Socket, const std::string& message);
    // The result and the clock correction.
    void showtime();
    void showtime(const check::NtpReading& reading);
    void presentAnswer(double serverTime, double localNow, const std::string& caption, const std::string& trayTip,
                       const std::optional<ClockStep>& step);
    void setpriv(const std::string& name, bool on);
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
    int& rcvCount = timeProtocol_.received();
    TimestampBytes& rcvBuf = timeProtocol_.bytes();
    int& checkNo = checkEngine_.checkNo;
    int& attemptNo = checkEngine_.attemptNo;
    int NewMoonsClicks = 0;
    int MeteorClicks = 0;
    int& retriesLeft = checkEngine_.retriesLeft;
    std::uint32_t tzState = 0;
    std::unique_ptr<platform::TIniFile> iniFile;

    bool CheckRunning() const { return checkEngine_.running(); }

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
    void setTimeOutText(int seconds);
    void listServers(app::TimeProtocol protocol);
    app::TimeProtocol chosenProtocol() const;
    void setChosenProtocol(app::TimeProtocol protocol);
    void useChosenProtocol();
    void correctClock(const ClockStep& step, const std::function<void()>& then);
    void clockChangeAnswered(int number, const ClockStep& step, const platform::ClockShiftResult& result);
    void correctWithoutTimeDate(int number, const ClockStep& step);
    void setClockWithRight(int number, const ClockStep& step);
    void endCheck(int number);
    int screenWidth() const;
    int centredLeft() const;
    int localDatePart(const char* pattern) const;
    void showMoonForm();
    void centreIfHiddenAtStart();
    void showForm();
    bool hasNotificationArea() const;

    ViewFormServices services_;
    TClientSocket unusedClient_;   // created, loaded and destroyed with the window, as designed
    bool clockChangePending_ = false;   // a step asked of the time and date service awaits its answer
    bool hiddenAtStart_ = false;   // Start Minimized: not shown since the start
    app::TimeProtocol listedProtocol_ = app::TimeProtocol::Time;   // whose servers the drop-down lists
};
