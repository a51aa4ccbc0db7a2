#include "history/history_store.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sqlite3.h>
#include <sys/stat.h>

namespace history {
namespace {

QByteArray readAll(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const std::string& path, const QByteArray& content)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// The names in a folder, for "nothing else was made or moved".
QStringList namesIn(const std::string& folder)
{
    return QDir(QString::fromStdString(folder)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

CheckRecord completed(std::int64_t timeMs, double offset)
{
    CheckRecord record;
    record.timeUnixMs = timeMs;
    record.server = "Time.Example";
    record.address = "192.0.2.7";
    record.protocol = "ntp";
    record.completed = true;
    record.offsetSeconds = offset;
    record.errorBoundSeconds = 0.0004;
    record.delaySeconds = 0.0008;
    record.stratum = 2;
    return record;
}

struct StoreTest : ::testing::Test {
    QTemporaryDir folder;
    std::string path = folder.path().toStdString() + "/data/tikora/history.sqlite";
};

TEST_F(StoreTest, RecordsComeBackAsWrittenAndALateStepUpdatesItsRecord)
{
    HistoryStore store(path);
    ASSERT_TRUE(store.usable()) << store.error();
    // The folders it made are the user's alone.
    struct stat info{};
    ASSERT_EQ(::stat((folder.path().toStdString() + "/data/tikora").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    CheckRecord first = completed(1000, 0.25);
    first.clockAction = ClockAction::Pending;
    CheckRecord second;
    second.timeUnixMs = 2000;
    second.server = "[::1]";
    second.protocol = "rfc868";
    second.failureReason = "the server closed the connection";
    CheckRecord third = completed(500, -0.5);   // ended earlier, stored later
    third.authenticated = true;
    third.clockAction = ClockAction::Refused;
    third.clockDetail = "not authorised";
    ASSERT_TRUE(store.append(first));
    ASSERT_TRUE(store.append(second));
    ASSERT_TRUE(store.append(third));
    EXPECT_LT(first.id, second.id);
    ASSERT_TRUE(store.updateClockAction(first.id, ClockAction::Stepped, 0.25, ""));

    first.clockAction = ClockAction::Stepped;
    first.stepSeconds = 0.25;

    HistoryStore reopened(path);
    const auto records = reopened.records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], third);   // by time, not by id
    EXPECT_EQ(records[1], first);
    EXPECT_EQ(records[2], second);
    EXPECT_EQ(reopened.records(1000).size(), 2u);
    EXPECT_EQ(reopened.records(2001).size(), 0u);
}

TEST_F(StoreTest, OnlyTheNewestRecordsAreKept)
{
    HistoryStore store(path, {.maxRecords = 5, .verify = true});
    ASSERT_TRUE(store.usable()) << store.error();
    std::int64_t lastId = 0;
    for (int i = 0; i < 12; ++i) {
        CheckRecord record = completed(1000 + i, i);
        ASSERT_TRUE(store.append(record));
        lastId = record.id;
    }
    const auto records = store.records();
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records.front().offsetSeconds, 7);
    EXPECT_EQ(records.back().id, lastId);
    // A late answer for a trimmed record changes nothing that is kept.
    EXPECT_TRUE(store.updateClockAction(1, ClockAction::Stepped, 1.0, ""));
    for (const CheckRecord& record : store.records())
        EXPECT_EQ(record.clockAction, ClockAction::Nothing);
}

// Moved aside (kept byte for byte, a new history started) or only reported
// (the user's to fix; nothing touched). Garbage is the end-to-end test's.
TEST_F(StoreTest, BadFilesAreReportedAndNeverOverwritten)
{
    struct BadFileCase {
        std::string name;
        std::function<void(const std::string& path)> make;
        bool movedAside;
        std::string reason;
    };
    const std::vector<BadFileCase> cases = {
        {"a damaged database",
         [](const std::string& p) {
             {
                 HistoryStore good(p);
                 for (int i = 0; i < 200; ++i) {
                     CheckRecord record = completed(i, i);
                     good.append(record);
                 }
             }
             sqlite3* db = nullptr;   // fold the journal in, so the damage is in the file itself
             sqlite3_open(p.c_str(), &db);
             sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
             sqlite3_close(db);
             QByteArray content = readAll(p);
             for (qsizetype i = 4096 + 100; i < content.size() && i < 4096 * 3; i += 7)
                 content[i] = char(0xA5);
             writeAll(p, content);
         },
         true, "the database is damaged"},
        {"a newer Tikora's",
         [](const std::string& p) {
             sqlite3* db = nullptr;
             sqlite3_open(p.c_str(), &db);
             sqlite3_exec(db, "CREATE TABLE future (x); PRAGMA user_version=7", nullptr, nullptr, nullptr);
             sqlite3_close(db);
         },
         false, "written by a newer Tikora"},
        {"a folder in its place", [](const std::string& p) { ::mkdir(p.c_str(), 0700); }, false, "cannot be used"},
    };
    for (const BadFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir caseFolder;
        const std::string dir = caseFolder.path().toStdString();
        const std::string file = dir + "/history.sqlite";
        c.make(file);
        const QStringList before = namesIn(dir);
        const QByteArray content = readAll(file);
        HistoryStore store(file);
        if (c.movedAside) {
            ASSERT_TRUE(store.usable()) << store.error();
            EXPECT_NE(store.notice().find(c.reason), std::string::npos) << store.notice();
            const QStringList moved = namesIn(dir).filter(QRegularExpression("^history\\.sqlite\\.unreadable-[0-9TZ]+$"));
            ASSERT_EQ(moved.size(), 1) << namesIn(dir).join(' ').toStdString();
            EXPECT_EQ(readAll(dir + "/" + moved[0].toStdString()), content);
            EXPECT_NE(store.notice().find(moved[0].toStdString()), std::string::npos) << store.notice();
            CheckRecord record = completed(1, 1);
            EXPECT_TRUE(store.append(record));
            EXPECT_EQ(store.records().size(), 1u);
        } else {
            EXPECT_FALSE(store.usable());
            EXPECT_NE(store.error().find(c.reason), std::string::npos) << store.error();
            EXPECT_NE(store.error().find(file), std::string::npos) << store.error();
            CheckRecord record = completed(1, 1);
            EXPECT_FALSE(store.append(record));
            EXPECT_TRUE(store.records().empty());
            EXPECT_EQ(namesIn(dir), before);
            EXPECT_EQ(readAll(file), content);
        }
    }
}

TEST(DefaultHistoryPath, FollowsXdgDataHome)
{
    ::setenv("XDG_DATA_HOME", "/some/data", 1);
    EXPECT_EQ(DefaultHistoryPath(), "/some/data/tikora/history.sqlite");
    ::setenv("XDG_DATA_HOME", "relative", 1);   // ignored: it would differ in every working directory
    ::setenv("HOME", "/home/user", 1);
    EXPECT_EQ(DefaultHistoryPath(), "/home/user/.local/share/tikora/history.sqlite");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(DefaultHistoryPath(), "/home/user/.local/share/tikora/history.sqlite");
}

} // namespace
} // namespace history
