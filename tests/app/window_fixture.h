#pragma once
// The main window on fakes: a fixed clock and zone, a recording system clock,
// notification area and cursor, and a temporary settings directory.

#include "app/view_form.h"
#include "net/timestamp.h"
#include "fakes/fake_local_clock.h"
#include "fakes/fake_system_time.h"
#include "fakes/fake_timezone.h"
#include "fakes/gui/fake_notification_area.h"
#include "fakes/gui/fake_screen_cursor.h"
#include "platform/exception.h"
#include "platform/local_clock.h"
#include "platform/system_time.h"

#include <QDateTime>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace testing_support {

// 2026-12-07 12:00:00, local and UTC alike (the zone's bias is 0).
inline QDateTime noon() { return QDateTime(QDate(2026, 12, 7), QTime(12, 0), QTimeZone::utc()); }

// The four RFC 868 bytes of a UTC moment.
inline TimestampBytes timestampOf(const QDateTime& utc)
{
    const auto count = static_cast<std::uint32_t>(utc.toSecsSinceEpoch() + 2208988800LL);
    return {static_cast<std::uint8_t>(count >> 24), static_cast<std::uint8_t>(count >> 16),
            static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
}

// The engine's result for a Time protocol answer of these four bytes.
inline check::CheckResult timeAnswerOf(const TimestampBytes& bytes)
{
    check::CheckResult result;
    result.serverUnixSeconds = UnixSecondsFromTimestamp(bytes);
    result.serverUnixNanoseconds = result.serverUnixSeconds * 1'000'000'000;
    return result;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        zone = fakes::FakeTimeZone::WithBias(0, platform::TIME_ZONE_ID_UNKNOWN);
        zone.info.StandardName = QStringLiteral("Coordinated Universal Time");
        setLocalNow(noon());
        previousReport = platform::SetErrorReport(
            [this](const std::string& message, const QObject*) { errors.push_back(message); });
    }
    void TearDown() override
    {
        form.reset();
        platform::SetErrorReport(previousReport);
        qunsetenv("XDG_CONFIG_HOME");
    }

    // The local clock and the system clock (UTC) at the same moment.
    void setLocalNow(const QDateTime& local, int utcMilliseconds = 0)
    {
        clock.now = platform::DateTimeValueOf(local);
        systemTime.now = platform::SystemTimeFromUnixMilliseconds(
            QDateTime(local.date(), local.time(), QTimeZone::utc()).toMSecsSinceEpoch() + utcMilliseconds);
    }

    void writeSettings(const QByteArray& content)
    {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QString settingsPath() const { return config.path() + "/Tikora.ini"; }
    QByteArray readSettings() const
    {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    TViewForm& open(const std::string& port = "time")
    {
        ViewFormServices services{zone,   clock, systemTime, tray, cursor, platform::UsFormatSettings(),
                                  port, [this] { ++quits; }, timeDate};
        services.ntpPort = ntpPort;
        services.ntsPort = ntsPort;
        services.ntsCaFile = ntsCaFile;
        services.earliestServerTime = 0;   // the tests' fixed dates may predate the build
        services.history = history;
        form = std::make_unique<TViewForm>(services);
        return *form;
    }

    std::vector<std::string> log() const
    {
        std::vector<std::string> lines;
        for (int i = 0; i < form->ListBox1->count(); ++i)
            lines.push_back(form->ListBox1->item(i)->text().toStdString());
        return lines;
    }
    // The tips the tray was given, in order, without repeats.
    std::vector<std::string> tips() const
    {
        std::vector<std::string> result;
        for (const auto& call : tray.calls)
            if (call.message == platform::NIM_MODIFY && (result.empty() || result.back() != call.tip))
                result.push_back(call.tip);
        return result;
    }

    QTemporaryDir config;
    fakes::FakeTimeZone zone;
    fakes::FakeSystemClock clock;
    fakes::FakeSystemTime systemTime;
    fakes::FakeNotificationArea tray;
    fakes::FakeScreenCursor cursor;
    platform::TimeDateService* timeDate = nullptr;   // none: the clock is set with the right alone
    history::HistoryStore* history = nullptr;   // none: checks are not recorded
    std::string ntpPort = "ntp";   // where an NTP check asks
    std::string ntsPort = "4460";  // where an NTS check's key exchange goes
    std::string ntsCaFile;         // trusted instead of the system's certificates
    int quits = 0;
    std::vector<std::string> errors;
    platform::ErrorReport previousReport;
    std::unique_ptr<TViewForm> form;
};

} // namespace testing_support
