#include "platform/local_clock.h"

#include <QDateTime>

namespace platform {

namespace {
const QDate kDateZero(1899, 12, 30);
constexpr double kMillisecondsPerDay = 86400000.0;
} // namespace

double DateTimeValueOf(const QDateTime& dateTime)
{
    const double days = static_cast<double>(kDateZero.daysTo(dateTime.date()));
    return days + dateTime.time().msecsSinceStartOfDay() / kMillisecondsPerDay;
}

double RealSystemClock::LocalNow() const
{
    return DateTimeValueOf(QDateTime::currentDateTime());
}

} // namespace platform
