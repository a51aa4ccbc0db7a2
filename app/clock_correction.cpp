// The end of a successful check: the server's time, the local time and the
// correction, and the clock stepped when allowed and due.
#include "app/view_form.h"

#include "platform/local_clock.h"
#include "platform/timezone.h"
#include "ui/tray_icon.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <memory>

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
constexpr std::int64_t kNanosecondsPerMillisecond = 1'000'000;
constexpr double kUnixEpochDateTime = 25569.0;   // 1970-01-01 as a date-time value

constexpr char kKeptByServiceLine[] = ">The system's time service keeps the clock: not changed.";
constexpr char kStillWaitingLine[] = ">Error: An earlier clock change still awaits the system's answer.";

// What the user reads when the clock is not stepped.
struct RefusalText {
    platform::ClockStepOutcome outcome;
    const char* tip;   // also the log line, after its ">"; the tray shows 63 characters
};

constexpr RefusalText kRefusals[] = {
    {platform::ClockStepOutcome::NotAuthorised, "Error: Not authorised to correct System Time."},
    {platform::ClockStepOutcome::AutomaticSyncOn, "Error: Automatic time synchronisation is on."},
    {platform::ClockStepOutcome::Failed, "Error: Unable to correct System Time."},
};

const RefusalText& RefusalFor(platform::ClockStepOutcome outcome)
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

// Date-time values (days since 1899-12-30, local) and nanoseconds since 1970
// in local time, to the millisecond as the clock's text shows them.
std::int64_t LocalNanosecondsOf(double dateTime)
{
    return std::llround((dateTime - kUnixEpochDateTime) * double(kMillisecondsPerDay)) * kNanosecondsPerMillisecond;
}

double DateTimeOf(std::int64_t localNanoseconds)
{
    return kUnixEpochDateTime + double(localNanoseconds / kNanosecondsPerMillisecond) / double(kMillisecondsPerDay);
}

} // namespace

// The daylight state of this moment, not of the start: a program left running
// across a change must not be an hour off.
void TViewForm::showtime(const check::CheckResult& result)
{
    check::Answer answer = check::AnswerOf(result, localReading());
    if (&checkEngine_->protocol() == &ntsProtocol_) {
        // With NTS chosen only an authenticated answer may set the clock.
        if (!result.authenticated) {
            answer.step.reset();
            logNumbered(checkEngine_->checkNumber(), ">Error: the answer is not authenticated; the clock is left alone.");
        } else {
            logNumbered(checkEngine_->checkNumber(), ">Time authenticated (NTS)");
            answer.trayTip += " (authenticated)";
        }
    }
    recorder_->answered(checkAsked(), result, answer, chkAdjust->isChecked() && answer.step);
    presentAnswer(answer);
}

check::LocalReading TViewForm::localReading() const
{
    platform::TIME_ZONE_INFORMATION zone;
    const std::uint32_t state = services_.zone.GetTimeZoneInformation(zone);
    const int utcOffsetSeconds = -(zone.Bias + platform::DaylightBiasInForce(zone, state)) * 60;
    const std::int64_t localNs = LocalNanosecondsOf(services_.clock.LocalNow());
    return {localNs - std::int64_t{utcOffsetSeconds} * 1'000'000'000, utcOffsetSeconds};
}

// Both times, the correction, and the clock stepped when allowed and due.
void TViewForm::presentAnswer(const check::Answer& answer)
{
    svrHour = answer.serverSecondsOfDay / 3600;
    svrMin = answer.serverSecondsOfDay / 60 % 60;
    svrSec = answer.serverSecondsOfDay % 60;
    const QString longTime = QStringLiteral("tt");
    svrTime->setText(platform::FormatDateTime(longTime, DateTimeOf(answer.serverLocalNs), services_.format));
    lclTime->setText(platform::FormatDateTime(longTime, DateTimeOf(answer.localNowNs), services_.format));
    Correction->setText(QString::fromStdString(answer.caption));
    setToolTip(answer.trayTip);

    const int number = checkEngine_->checkNumber();
    if (chkAdjust->isChecked() && answer.step)
        correctClock(*answer.step, [this, number] { endCheck(number); });
    else
        endCheck(number);
}

void TViewForm::endCheck(int number)
{
    logNumbered(number, ">Disconnected.");
    // A check started while the clock's answer was awaited keeps its window.
    if (chkExit->isChecked() && !CheckRunning())
        btnMinimize->click();
}

// The clock service's answer may land later (the time and date service asks
// polkit), when the window may have started another check: the lines carry
// this check's number and `then` ends this check only then.
void TViewForm::correctClock(const platform::ClockStep& step, const std::function<void()>& then)
{
    log(">Correcting System Time");
    stepGauge(20);
    const int number = checkEngine_->checkNumber();
    // An answer given at once ends the check once step() has returned, when
    // the right is lowered again; a later answer ends it when it lands.
    struct Progress {
        bool returned = false;
        bool answered = false;
    };
    const auto progress = std::make_shared<Progress>();
    const std::int64_t recordId = recorder_->lastAnswered();
    clockService_->step(step, [this, number, then, progress, step, recordId](const platform::ClockStepReport& report) {
        recorder_->clockAnswered(recordId, step, report);
        clockStepAnswered(number, report);
        if (progress->returned)
            then();
        else
            progress->answered = true;
    });
    progress->returned = true;
    if (progress->answered)
        then();
}

void TViewForm::clockStepAnswered(int number, const platform::ClockStepReport& report)
{
    using platform::ClockStepOutcome;
    switch (report.outcome) {
    case ClockStepOutcome::Stepped:
        logNumbered(number, ClockSetLine(services_.clock, services_.format));
        return;
    case ClockStepOutcome::KeptByTimeService:
        logNumbered(number, kKeptByServiceLine);
        return;
    case ClockStepOutcome::StillWaiting:
        logNumbered(number, kStillWaitingLine);
        return;
    case ClockStepOutcome::NotAuthorised:
    case ClockStepOutcome::AutomaticSyncOn:
    case ClockStepOutcome::Failed:
        break;
    }
    const RefusalText& refusal = RefusalFor(report.outcome);
    logNumbered(number, std::string(">") + refusal.tip);
    if (report.outcome == ClockStepOutcome::Failed && !report.detail.empty())
        logNumbered(number, ">" + report.detail);
    // The tip belongs to a check that has since started, if one has.
    if (!CheckRunning())
        setToolTip(refusal.tip);
}
