#pragma once
// A private D-Bus daemon standing in for the system bus, and python3-dbusmock's
// stand-in for systemd's time and date service on it, recording each call.
//
// The bus is started on first use and stopped after the last test of the
// process (Qt keeps its one system-bus connection for the whole process, so
// the address must not change between tests). Each mock is a child process
// stopped by the test that started it.

#include "net/loopback.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

inline const QString kTimedateName = QStringLiteral("org.freedesktop.timedate1");

class PrivateSystemBus : public ::testing::Environment {
public:
    // Empty when the bus runs; otherwise why it could not be started.
    static QString ensureStarted()
    {
        PrivateSystemBus& bus = instance();
        if (bus.daemon_ && bus.daemon_->state() == QProcess::Running)
            return {};
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            return QStringLiteral("dbus-daemon is not installed");
        bus.daemon_ = std::make_unique<QProcess>();
        bus.daemon_->start(QStringLiteral("dbus-daemon"),
                           {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!bus.daemon_->waitForStarted(10000))
            return QStringLiteral("dbus-daemon did not start");
        for (int tries = 0; tries < 100 && !bus.daemon_->canReadLine(); ++tries)
            bus.daemon_->waitForReadyRead(200);
        const QByteArray address = bus.daemon_->readLine().trimmed();
        if (address.isEmpty())
            return QStringLiteral("dbus-daemon printed no address");
        // Qt reads this when it first connects to "the system bus".
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        return {};
    }
    static bool nameOwned(const QString& name)
    {
        QDBusConnectionInterface* bus = QDBusConnection::systemBus().interface();
        return bus && bus->isServiceRegistered(name).value();
    }

    void TearDown() override
    {
        if (daemon_) {
            daemon_->terminate();
            if (!daemon_->waitForFinished(5000))
                daemon_->kill();
            daemon_->waitForFinished(5000);
            daemon_.reset();
        }
    }

private:
    static PrivateSystemBus& instance()
    {
        // gtest owns the environment and tears it down after the last test.
        static PrivateSystemBus* bus =
            static_cast<PrivateSystemBus*>(::testing::AddGlobalTestEnvironment(new PrivateSystemBus));
        return *bus;
    }
    std::unique_ptr<QProcess> daemon_;
};

// `python3 -m dbusmock --template timedated` with the NTP property given.
class TimedatedMock {
public:
    // Empty when the mock is on the bus; otherwise why not.
    QString start(bool ntp)
    {
        if (const QString why = PrivateSystemBus::ensureStarted(); !why.isEmpty())
            return why;
        if (!logDir_.isValid())
            return QStringLiteral("no temporary directory");
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Debian's interpreter, where python3-dbusmock is installed, not one
        // that a user's PATH may put first.
        const QString python = QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                                 : QStringLiteral("python3");
        process_.start(python,
                       {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                        QStringLiteral("timedated"), QStringLiteral("-p"),
                        ntp ? QStringLiteral("{\"NTP\": true}") : QStringLiteral("{\"NTP\": false}"),
                        QStringLiteral("-l"), logPath()});
        if (!process_.waitForStarted(10000))
            return QStringLiteral("python3 did not start");
        // Python and its D-Bus module can take a while on a busy machine.
        const auto upOrGone = [this] {
            return process_.state() == QProcess::NotRunning || PrivateSystemBus::nameOwned(kTimedateName);
        };
        if (!pumpUntil(upOrGone, 30000) || process_.state() == QProcess::NotRunning)
            return QStringLiteral("the timedated mock (python3-dbusmock) did not appear on the bus");
        return {};
    }
    ~TimedatedMock() { stop(); }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(5000);
        // The next test must not meet this one's service.
        pumpUntil([] { return !PrivateSystemBus::nameOwned(kTimedateName); }, 5000);
    }

    // Replaces SetTime with one that fails with the given D-Bus error.
    bool failSetTimeWith(const QString& errorName)
    {
        QDBusMessage add = QDBusMessage::createMethodCall(kTimedateName, QStringLiteral("/org/freedesktop/timedate1"),
                                                          QStringLiteral("org.freedesktop.DBus.Mock"),
                                                          QStringLiteral("AddMethod"));
        add << kTimedateName << QStringLiteral("SetTime") << QStringLiteral("xbb") << QString()
            << QStringLiteral("raise dbus.exceptions.DBusException('refused', name='%1')").arg(errorName);
        return QDBusConnection::systemBus().call(add, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
    }

    // The SetTime calls recorded so far, each as its argument text: "7000000 True True".
    std::vector<std::string> setTimeCalls() const
    {
        std::vector<std::string> calls;
        QFile log(logPath());
        if (!log.open(QIODevice::ReadOnly))
            return calls;
        const QByteArray marker = " SetTime ";
        for (const QByteArray& line : log.readAll().split('\n'))
            if (const qsizetype at = line.indexOf(marker); at >= 0)
                calls.push_back(line.mid(at + marker.size()).trimmed().toStdString());
        return calls;
    }

private:
    QString logPath() const { return logDir_.filePath(QStringLiteral("timedated.log")); }
    QTemporaryDir logDir_;
    QProcess process_;
};

} // namespace testing_support
