// The end of a successful check: the server's time, the local time and the
// correction, and the clock set to the server's time when allowed.
#include "app/view_form.h"

#include "platform/local_clock.h"
#include "platform/system_time.h"
#include "platform/timezone.h"
#include "ui/tray_icon.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <cmath>

namespace {

constexpr int kSecondsPerDay = 86400;

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

    const QString longTime = QStringLiteral("tt");
    svrTime->setText(platform::FormatDateTime(longTime, server.secondsOfDay() / double(kSecondsPerDay), services_.format));
    const double localNow = services_.clock.LocalNow();
    lclTime->setText(platform::FormatDateTime(longTime, localNow, services_.format));
    const ::Correction correction = CorrectionBetween(server.secondsOfDay(), secondsOfDay(localNow));
    Correction->setText(QString::fromStdString(correction.caption));
    setToolTip(correction.trayTip);

    resetcon(cli.CurrentSocket(), "");
    if (chkAdjust->isChecked())
        correctClock(correction);
    log(">Disconnected.");
    if (chkExit->isChecked())
        btnMinimize->click();
}

// Shifts the whole UTC date and time by the correction, so that the date
// rolls over with a correction across midnight.
void TViewForm::correctClock(const ::Correction& correction)
{
    log(">Correcting System Time");
    stepGauge(20);
    platform::SYSTEMTIME now;
    services_.systemTime.GetSystemTime(now);
    std::int64_t milliseconds = 0;
    platform::SYSTEMTIME record = now;
    if (platform::UnixMillisecondsFromSystemTime(now, milliseconds))
        record = platform::SystemTimeFromUnixMilliseconds(milliseconds + std::int64_t{correction.shift()} * 1000);
    {
        PrivilegeScope privilege(*this);
        const bool set = services_.systemTime.SetSystemTime(record);
        if (set) {
            log(">Clock set to " +
                platform::FormatDateTime(QStringLiteral("tt"), services_.clock.LocalNow(), services_.format).toStdString());
        } else {
            log(">Error: Unable to correct System Time.");
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
