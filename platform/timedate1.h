#pragma once
// The clock as systemd's time and date service offers it
// (org.freedesktop.timedate1 on the system bus): whether a time service keeps
// the clock (its NTP property), and a relative step that polkit may let an
// administrator approve with a password.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QObject;

namespace platform {

enum class ClockShiftOutcome {
    Shifted,            // the service stepped the clock (or there was nothing to step)
    KeptByTimeService,  // NTP is on: a time service keeps the clock, nothing was asked
    NoService,          // no system bus, or no time and date service on it
    NotAuthorised,      // polkit refused, or the password dialog was dismissed
    AutomaticSyncOn,    // the service refused because automatic synchronisation is on
    Failed,             // any other error, or no answer in time
};

struct ClockShiftResult {
    ClockShiftOutcome outcome = ClockShiftOutcome::Failed;
    std::string detail;   // the D-Bus error name and text, for the log; empty on success
};

using ClockShiftDone = std::function<void(const ClockShiftResult&)>;

// The seam: the QtDBus client below, a scripted fake in tests.
class TimeDateService {
public:
    virtual ~TimeDateService() = default;
    // Reads NTP and, when it is off, asks SetTime(microseconds, relative, interactive).
    // `done` runs once, later, from the event loop, never inside this call.
    virtual void ShiftClock(std::int64_t microseconds, ClockShiftDone done) = 0;
};

// The D-Bus error names timedated and the bus answer with, sorted into outcomes.
ClockShiftOutcome OutcomeOfSetTimeError(const std::string& errorName);

class Timedate1Client final : public TimeDateService {
public:
    // A person may take a while to type a password: the step waits this long.
    static constexpr std::chrono::milliseconds kAuthorisationWait{std::chrono::minutes(3)};
    // Reading a property, even with the service started on demand, is quick.
    static constexpr std::chrono::milliseconds kPropertyWait{std::chrono::seconds(10)};

    Timedate1Client();
    ~Timedate1Client() override;
    Timedate1Client(const Timedate1Client&) = delete;
    Timedate1Client& operator=(const Timedate1Client&) = delete;

    void ShiftClock(std::int64_t microseconds, ClockShiftDone done) override;

private:
    void askSetTime(std::int64_t microseconds, ClockShiftDone done);
    // Parent of the pending calls' watchers: a reply that lands after the
    // client is gone is dropped with them.
    std::unique_ptr<QObject> calls_;
};

} // namespace platform
