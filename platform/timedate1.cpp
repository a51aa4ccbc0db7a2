#include "platform/timedate1.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QObject>
#include <QTimer>

#include <array>
#include <string_view>
#include <utility>

namespace platform {
namespace {

const QString kService = QStringLiteral("org.freedesktop.timedate1");
const QString kPath = QStringLiteral("/org/freedesktop/timedate1");
const QString kInterface = QStringLiteral("org.freedesktop.timedate1");

struct ErrorOutcome {
    std::string_view name;
    ClockShiftOutcome outcome;
};

// What each known answer means for the user; anything else is a plain failure.
constexpr std::array kErrorOutcomes{
    ErrorOutcome{"org.freedesktop.DBus.Error.AccessDenied", ClockShiftOutcome::NotAuthorised},
    ErrorOutcome{"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", ClockShiftOutcome::NotAuthorised},
    ErrorOutcome{"org.freedesktop.PolicyKit1.Error.NotAuthorized", ClockShiftOutcome::NotAuthorised},
    ErrorOutcome{"org.freedesktop.PolicyKit1.Error.Cancelled", ClockShiftOutcome::NotAuthorised},
    ErrorOutcome{"org.freedesktop.timedate1.AutomaticTimeSyncEnabled", ClockShiftOutcome::AutomaticSyncOn},
    // The service left the bus between the two calls, or never offered the
    // method: the step was not made, so another way may make it. (A lost
    // connection or a missing answer is no such case: the step may be made.)
    ErrorOutcome{"org.freedesktop.DBus.Error.ServiceUnknown", ClockShiftOutcome::NoService},
    ErrorOutcome{"org.freedesktop.DBus.Error.NameHasNoOwner", ClockShiftOutcome::NoService},
    ErrorOutcome{"org.freedesktop.DBus.Error.UnknownObject", ClockShiftOutcome::NoService},
    ErrorOutcome{"org.freedesktop.DBus.Error.UnknownInterface", ClockShiftOutcome::NoService},
    ErrorOutcome{"org.freedesktop.DBus.Error.UnknownMethod", ClockShiftOutcome::NoService},
};

std::string detailOf(const QString& errorName, const QString& errorText)
{
    return (errorName + QStringLiteral(": ") + errorText).toStdString();
}

std::string detailOf(const QDBusMessage& reply) { return detailOf(reply.errorName(), reply.errorMessage()); }

// Hands `result` to `done` from the event loop, as the seam promises.
void answerLater(QObject* context, ClockShiftDone done, ClockShiftResult result)
{
    QTimer::singleShot(0, context, [done = std::move(done), result = std::move(result)] { done(result); });
}

// Sends `message` on the system bus; `landed` gets the reply (or the error
// the bus made up when none came within `wait`).
void whenAnswered(QObject* parent, const QDBusMessage& message, std::chrono::milliseconds wait,
                  std::function<void(const QDBusMessage&)> landed)
{
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::systemBus().asyncCall(message, static_cast<int>(wait.count())), parent);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, parent,
                     [landed = std::move(landed)](QDBusPendingCallWatcher* call) {
                         call->deleteLater();
                         landed(call->reply());
                     });
}

} // namespace

ClockShiftOutcome OutcomeOfSetTimeError(const std::string& errorName)
{
    for (const ErrorOutcome& known : kErrorOutcomes)
        if (known.name == errorName)
            return known.outcome;
    return ClockShiftOutcome::Failed;
}

Timedate1Client::Timedate1Client() : calls_(std::make_unique<QObject>()) {}

Timedate1Client::~Timedate1Client() = default;

void Timedate1Client::ShiftClock(std::int64_t microseconds, ClockShiftDone done)
{
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        const QDBusError error = bus.lastError();
        answerLater(calls_.get(), std::move(done), {ClockShiftOutcome::NoService, detailOf(error.name(), error.message())});
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << kInterface << QStringLiteral("NTP");
    whenAnswered(calls_.get(), get, kPropertyWait, [this, microseconds, done = std::move(done)](const QDBusMessage& reply) {
        // Whatever keeps the property from being read, the service is of no use.
        if (reply.type() != QDBusMessage::ReplyMessage) {
            done({ClockShiftOutcome::NoService, detailOf(reply)});
            return;
        }
        const QVariant ntp = qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
        if (ntp.typeId() != QMetaType::Bool) {
            done({ClockShiftOutcome::NoService, "NTP is not a truth value"});
            return;
        }
        if (ntp.toBool()) {
            done({ClockShiftOutcome::KeptByTimeService, {}});
            return;
        }
        // Asking an administrator to approve a step of nothing helps nobody.
        if (microseconds == 0) {
            done({ClockShiftOutcome::Shifted, {}});
            return;
        }
        askSetTime(microseconds, done);
    });
}

void Timedate1Client::askSetTime(std::int64_t microseconds, ClockShiftDone done)
{
    // Relative: the step stays right however long the password takes.
    QDBusMessage set = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("SetTime"));
    set << QVariant::fromValue(qlonglong{microseconds}) << true << true;
    set.setInteractiveAuthorizationAllowed(true);
    whenAnswered(calls_.get(), set, kAuthorisationWait, [done = std::move(done)](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage)
            done({ClockShiftOutcome::Shifted, {}});
        else
            done({OutcomeOfSetTimeError(reply.errorName().toStdString()), detailOf(reply)});
    });
}

} // namespace platform
