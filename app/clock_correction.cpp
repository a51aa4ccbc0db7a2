// The end of a successful check: the server's time, the local time and the
// correction, and the clock set to the server's time when allowed.
#include "app/view_form.h"

#include "net/ntp_packet.h"
#include "platform/local_clock.h"
#include "platform/system_time.h"
#include "platform/timedate1.h"
#include "platform/timezone.h"
#include "ui/tray_icon.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <optional>

namespace {

constexpr int kSecondsPerDay = 86400;
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;
constexpr std::int64_t kNanosecondsPerDay = kNanosecondsPerSecond * kSecondsPerDay;
constexpr std::int64_t kNanosecondsPerMicrosecond = 1000;
constexpr std::int64_t kNanosecondsPerMillisecond = 1000000;

// The time and date service takes microseconds: the nearest, halves away from zero.
std::int64_t MicrosecondsOf(std::int64_t nanoseconds)
{
    const std::int64_t half = kNanosecondsPerMicrosecond / 2;
    return nanoseconds >= 0 ? (nanoseconds + half) / kNanosecondsPerMicrosecond
                            : -((-nanoseconds + half) / kNanosecondsPerMicrosecond);
}

constexpr char kKeptByServiceLine[] = ">The system's time service keeps the clock: not changed.";
constexpr char kStillWaitingLine[] = ">Error: An earlier clock change still awaits the system's answer.";

// What the user reads when the time and date service does not make the step.
struct RefusalText {
    platform::ClockShiftOutcome outcome;
    const char* tip;   // also the log line, after its ">"; the tray shows 63 characters
};

constexpr RefusalText kRefusals[] = {
    {platform::ClockShiftOutcome::NotAuthorised, "Error: Not authorised to correct System Time."},
    {platform::ClockShiftOutcome::AutomaticSyncOn, "Error: Automatic time synchronisation is on."},
    {platform::ClockShiftOutcome::Failed, "Error: Unable to correct System Time."},
};

const RefusalText& RefusalFor(platform::ClockShiftOutcome outcome)
{
    for (const RefusalText& refusal : kRefusals)
        if (refusal.outcome == outcome)
            return refusal;
    return kRefusals[std::size(kRefusals) - 1];
}

std::string ClockSetLine(const platform::SystemClock& clock, const platform::FormatSettings& format)
{
    return ">Clock set to " + platform::FormatDateTime(QStringLiteral("tt"), clock.LocalNow(), format).toStdString();
}

void logLine(QListWidget& list, int number, const std::string& message)
{
    list.addItem(QString::number(number) + QString::fromStdString(message));
    list.setCurrentRow(list.count() - 1);
}

// The whole seconds of a date-time value's time of day, as its text shows them.
int secondsOfDay(double value)
{
    const double milliseconds = std::round((value - std::floor(value)) * kSecondsPerDay * 1000.0);
    return static_cast<int>(milliseconds / 1000) % kSecondsPerDay;
}

// Raised for the one call only, and lowered again whatever happens.
class PrivilegeScope {
public:
    explicit PrivilegeScope(TViewForm& form) : form_(form) { form_.setpriv(platform::SE_SYSTEMTIME_NAME, true); }
    ~PrivilegeScope() { form_.setpriv(platform::SE_SYSTEMTIME_NAME, false); }
    PrivilegeScope(const PrivilegeScope&) = delete;
    PrivilegeScope& operator=(const PrivilegeScope&) = delete;

private:
    TViewForm& form_;
};

} // namespace

void TViewForm::showtime()
{
    // The daylight state of this moment, not of the start: a program left
    // running across a change must not be an hour off.
    platform::TIME_ZONE_INFORMATION zone;
    const std::uint32_t state = services_.zone.GetTimeZoneInformation(zone);
    const ServerTimeOfDay server = ServerLocalTime(rcvBuf, zone.Bias, platform::DaylightBiasInForce(zone, state));
    svrHour = server.svrHour;
    svrMin = server.svrMin;
    svrSec = server.svrSec;

    const double localNow = services_.clock.LocalNow();
    const ::Correction correction = CorrectionBetween(server.secondsOfDay(), secondsOfDay(localNow));
    presentAnswer(server.secondsOfDay() / double(kSecondsPerDay), localNow, correction.caption, correction.trayTip,
                  ClockStep{std::int64_t{correction.shift()} * kNanosecondsPerSecond, true});
}

// An NTP answer: the offset is measured against the clock as it reads now, so
// the server's time is the local time moved by it.
void TViewForm::showtime(const check::NtpReading& reading)
{
    const double localNow = services_.clock.LocalNow();
    const double serverNow = localNow + double(reading.offsetNs) / double(kNanosecondsPerDay);
    const int serverSeconds = secondsOfDay(serverNow);
    svrHour = serverSeconds / 3600;
    svrMin = serverSeconds / 60 % 60;
    svrSec = serverSeconds % 60;

    const ntp::NtpCorrection correction = ntp::CorrectionOf({reading.offsetNs, reading.delayNs});
    // Within half the round trip the true offset may be nothing: the clock is left alone.
    std::optional<ClockStep> step;
    if (correction.shiftNanoseconds != 0)
        step = ClockStep{correction.shiftNanoseconds, false};
    presentAnswer(serverNow, localNow, correction.caption, correction.trayTip, step);
}

// The end of an answered check, whichever protocol: both times, the
// correction, the socket closed, and the clock stepped when allowed and due.
void TViewForm::presentAnswer(double serverTime, double localNow, const std::string& caption,
                              const std::string& trayTip, const std::optional<ClockStep>& step)
{
    const QString longTime = QStringLiteral("tt");
    svrTime->setText(platform::FormatDateTime(longTime, serverTime, services_.format));
    lclTime->setText(platform::FormatDateTime(longTime, localNow, services_.format));
    Correction->setText(QString::fromStdString(caption));
    setToolTip(trayTip);

    resetcon(cli.CurrentSocket(), "");
    const int number = checkNo;
    if (chkAdjust->isChecked() && step)
        correctClock(*step, [this, number] { endCheck(number); });
    else
        endCheck(number);
}

void TViewForm::endCheck(int number)
{
    logLine(*ListBox1, number, ">Disconnected.");
    // A check started while the clock's answer was awaited keeps its window.
    if (chkExit->isChecked() && !CheckRunning())
        btnMinimize->click();
}

// The step goes to the system's time and date service when there is one; its
// answer lands later, when the window may have started another check, so the
// lines carry this check's number and `then` ends this check only then.
void TViewForm::correctClock(const ClockStep& step, const std::function<void()>& then)
{
    log(">Correcting System Time");
    stepGauge(20);
    const int number = checkNo;
    if (!services_.timeDate) {
        correctWithoutTimeDate(number, step);
        then();
        return;
    }
    // Two relative steps in flight would both be made.
    if (clockChangePending_) {
        logLine(*ListBox1, number, kStillWaitingLine);
        then();
        return;
    }
    clockChangePending_ = true;
    const QPointer<QWidget> window(this);
    services_.timeDate->ShiftClock(MicrosecondsOf(step.nanoseconds),
                                   [this, window, number, step, then](const platform::ClockShiftResult& result) {
                                       if (!window)
                                           return;
                                       clockChangePending_ = false;
                                       clockChangeAnswered(number, step, result);
                                       then();
                                   });
}

void TViewForm::clockChangeAnswered(int number, const ClockStep& step, const platform::ClockShiftResult& result)
{
    using platform::ClockShiftOutcome;
    switch (result.outcome) {
    case ClockShiftOutcome::Shifted:
        logLine(*ListBox1, number, ClockSetLine(services_.clock, services_.format));
        return;
    case ClockShiftOutcome::KeptByTimeService:
        logLine(*ListBox1, number, kKeptByServiceLine);
        return;
    case ClockShiftOutcome::NoService:
        correctWithoutTimeDate(number, step);
        return;
    case ClockShiftOutcome::NotAuthorised:
    case ClockShiftOutcome::AutomaticSyncOn:
    case ClockShiftOutcome::Failed:
        break;
    }
    const RefusalText& refusal = RefusalFor(result.outcome);
    logLine(*ListBox1, number, std::string(">") + refusal.tip);
    if (result.outcome == ClockShiftOutcome::Failed && !result.detail.empty())
        logLine(*ListBox1, number, ">" + result.detail);
    // The tip belongs to a check that has since started, if one has.
    if (!CheckRunning())
        setToolTip(refusal.tip);
}

// Without the time and date service: a clock the kernel reports disciplined is
// left to whatever disciplines it; otherwise the step is made with the right.
void TViewForm::correctWithoutTimeDate(int number, const ClockStep& step)
{
    if (services_.systemTime.KernelClockSynchronised())
        logLine(*ListBox1, number, kKeptByServiceLine);
    else
        setClockWithRight(number, step);
}

// A record shifts the whole UTC date and time by the correction, so that the
// date rolls over with a correction across midnight; a step does so in the
// kernel, with no time passing between reading the clock and setting it.
void TViewForm::setClockWithRight(int number, const ClockStep& step)
{
    platform::SYSTEMTIME record;
    if (step.asRecord) {
        platform::SYSTEMTIME now;
        services_.systemTime.GetSystemTime(now);
        std::int64_t milliseconds = 0;
        record = now;
        if (platform::UnixMillisecondsFromSystemTime(now, milliseconds))
            record = platform::SystemTimeFromUnixMilliseconds(milliseconds + step.nanoseconds / kNanosecondsPerMillisecond);
    }
    {
        PrivilegeScope privilege(*this);
        const bool set = step.asRecord ? services_.systemTime.SetSystemTime(record)
                                       : services_.systemTime.StepSystemTime(step.nanoseconds);
        if (set) {
            logLine(*ListBox1, number, ClockSetLine(services_.clock, services_.format));
        } else {
            logLine(*ListBox1, number, ">Error: Unable to correct System Time.");
            setToolTip("Error: Unable to correct System Time.");
        }
    }
}

void TViewForm::setpriv(const std::string& name, bool on)
{
    if (services_.systemTime.AdjustPrivilege(name, on) == platform::PrivilegeResult::Failed) {
        ListBox1->addItem(QStringLiteral(">Error: unable to use API call."));
        ListBox1->setCurrentRow(ListBox1->count() - 1);
    }
}
