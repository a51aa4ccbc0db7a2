#include "platform/system_time.h"

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

#include <sys/capability.h>
#include <sys/timex.h>
#include <ctime>

namespace platform {

SYSTEMTIME SystemTimeFromUnixMilliseconds(std::int64_t milliseconds)
{
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(milliseconds, QTimeZone::utc());
    const QDate date = moment.date();
    const QTime time = moment.time();
    SYSTEMTIME record;
    record.wYear = static_cast<std::uint16_t>(date.year());
    record.wMonth = static_cast<std::uint16_t>(date.month());
    record.wDayOfWeek = static_cast<std::uint16_t>(date.dayOfWeek() % 7);   // Sunday = 0
    record.wDay = static_cast<std::uint16_t>(date.day());
    record.wHour = static_cast<std::uint16_t>(time.hour());
    record.wMinute = static_cast<std::uint16_t>(time.minute());
    record.wSecond = static_cast<std::uint16_t>(time.second());
    record.wMilliseconds = static_cast<std::uint16_t>(time.msec());
    return record;
}

bool UnixMillisecondsFromSystemTime(const SYSTEMTIME& time, std::int64_t& milliseconds)
{
    const QDate date(time.wYear, time.wMonth, time.wDay);
    const QTime clock(time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    if (!date.isValid() || !clock.isValid() || time.wYear < 1970)
        return false;
    milliseconds = QDateTime(date, clock, QTimeZone::utc()).toMSecsSinceEpoch();
    return true;
}

void LinuxSystemTime::GetSystemTime(SYSTEMTIME& time) const
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    time = SystemTimeFromUnixMilliseconds(std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000);
}

bool LinuxSystemTime::SetSystemTime(const SYSTEMTIME& time)
{
    std::int64_t milliseconds = 0;
    if (!UnixMillisecondsFromSystemTime(time, milliseconds))
        return false;
    timespec value{};
    value.tv_sec = static_cast<time_t>(milliseconds / 1000);
    value.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000;
    return ::clock_settime(CLOCK_REALTIME, &value) == 0;
}

timex RelativeStepRequest(std::int64_t nanoseconds)
{
    constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
    std::int64_t seconds = nanoseconds / kNanosecondsPerSecond;
    std::int64_t rest = nanoseconds % kNanosecondsPerSecond;
    if (rest < 0) {
        rest += kNanosecondsPerSecond;
        --seconds;
    }
    timex request{};
    request.modes = ADJ_SETOFFSET | ADJ_NANO;
    request.time.tv_sec = static_cast<time_t>(seconds);
    request.time.tv_usec = static_cast<suseconds_t>(rest);   // nanoseconds under ADJ_NANO
    return request;
}

bool LinuxSystemTime::StepSystemTime(std::int64_t nanoseconds)
{
    timex request = RelativeStepRequest(nanoseconds);
    // The kernel adds the offset to its own reading: a read-then-set would
    // lose the time between the two calls.
    return ::clock_adjtime(CLOCK_REALTIME, &request) != -1;
}

PrivilegeResult LinuxSystemTime::AdjustPrivilege(const std::string& name, bool enable)
{
    if (name != SE_SYSTEMTIME_NAME)
        return PrivilegeResult::NoSuchPrivilege;
    cap_t caps = cap_get_proc();
    if (!caps)
        return PrivilegeResult::Failed;
    PrivilegeResult result = PrivilegeResult::Adjusted;
    cap_flag_value_t permitted = CAP_CLEAR;
    cap_get_flag(caps, CAP_SYS_TIME, CAP_PERMITTED, &permitted);
    // Raising a right the process does not hold changes nothing and is no
    // error: the clock change that follows fails and says so.
    if (!enable || permitted == CAP_SET) {
        const cap_value_t wanted[] = {CAP_SYS_TIME};
        if (cap_set_flag(caps, CAP_EFFECTIVE, 1, wanted, enable ? CAP_SET : CAP_CLEAR) != 0 ||
            cap_set_proc(caps) != 0)
            result = PrivilegeResult::Failed;
    }
    cap_free(caps);
    return result;
}

bool KernelStateIsSynchronised(int callResult, int status)
{
    return callResult != -1 && callResult != TIME_ERROR && (status & STA_UNSYNC) == 0;
}

bool LinuxSystemTime::KernelClockSynchronised() const
{
    timex state{};
    state.modes = 0;   // read only: with no modes the call changes nothing
    const int result = ::ntp_adjtime(&state);
    return KernelStateIsSynchronised(result, state.status);
}

} // namespace platform
