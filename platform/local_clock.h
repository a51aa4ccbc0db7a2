#pragma once
// The system clock as the program reads it: the current local time as a
// date-time value (days since 30 December 1899 00:00, fraction = time of day).
// Reading only for now; setting the clock (SetSystemTime with CAP_SYS_TIME)
// joins this interface with the window's clock correction.

class QDateTime;

namespace platform {

class SystemClock {
public:
    virtual ~SystemClock() = default;
    // The local date and time now, as a date-time value.
    virtual double LocalNow() const = 0;
};

// The real clock: QDateTime::currentDateTime() in the system's zone.
class RealSystemClock final : public SystemClock {
public:
    double LocalNow() const override;
};

// The wall-clock fields of a QDateTime (its own zone) as a date-time value.
double DateTimeValueOf(const QDateTime& dateTime);

} // namespace platform
