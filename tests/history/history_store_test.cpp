#include "history/history_store.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <sqlite3.h>
#include <sys/capability.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <fstream>
#include <sstream>

namespace history {
namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeAll(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// The names in a folder, for "nothing else was made or moved".
std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::int64_t pragma(const std::string& path, const std::string& name)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, ("PRAGMA " + name).c_str(), -1, &statement, nullptr);
    const std::int64_t value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
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

    HistoryStore reopened(path);
    const auto records = reopened.records();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].id, third.id);   // by time, not by id
    EXPECT_TRUE(records[0].authenticated);
    EXPECT_EQ(records[0].clockAction, ClockAction::Refused);
    EXPECT_EQ(records[0].clockDetail, "not authorised");
    EXPECT_EQ(records[1].server, "Time.Example");
    EXPECT_EQ(records[1].address, "192.0.2.7");
    EXPECT_EQ(records[1].protocol, "ntp");
    EXPECT_EQ(records[1].offsetSeconds, 0.25);
    EXPECT_EQ(records[1].errorBoundSeconds, 0.0004);
    EXPECT_EQ(records[1].delaySeconds, 0.0008);
    EXPECT_EQ(records[1].stratum, 2);
    EXPECT_EQ(records[1].clockAction, ClockAction::Stepped);
    EXPECT_EQ(records[1].stepSeconds, 0.25);
    EXPECT_FALSE(records[2].completed);
    EXPECT_EQ(records[2].failureReason, "the server closed the connection");
    EXPECT_FALSE(records[2].offsetSeconds);
    EXPECT_FALSE(records[2].stratum);

    EXPECT_EQ(reopened.records(1000).size(), 2u);
    EXPECT_EQ(reopened.records(2001).size(), 0u);
    EXPECT_EQ(pragma(path, "user_version"), 1);
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

// Files that are not a usable history: which are moved aside (their content
// kept byte for byte under a new name, a new history started) and which are
// only reported (the user's to fix; nothing is touched).
TEST_F(StoreTest, BadFilesAreReportedAndNeverOverwritten)
{
    struct BadFileCase {
        std::string name;
        std::function<void(const std::string& path)> make;
        bool movedAside;
        std::string reason;
    };
    const std::vector<BadFileCase> cases = {
        {"garbage", [](const std::string& p) { writeAll(p, std::string(5000, 'x') + "not sqlite"); }, true,
         "the file is not a database"},
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
             std::string content = readAll(p);
             for (std::size_t i = 4096 + 100; i < content.size() && i < 4096 * 3; i += 7)
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
        const std::vector<std::string> before = namesIn(dir);
        struct stat info{};
        ::stat(file.c_str(), &info);
        const std::string content = S_ISREG(info.st_mode) ? readAll(file) : "";

        HistoryStore store(file);
        if (c.movedAside) {
            ASSERT_TRUE(store.usable()) << store.error();
            EXPECT_NE(store.notice().find(c.reason), std::string::npos) << store.notice();
            const auto names = namesIn(dir);
            auto moved = std::find_if(names.begin(), names.end(), [](const std::string& n) {
                return n.rfind("history.sqlite.unreadable-", 0) == 0 && n.find("-wal") == std::string::npos &&
                       n.find("-shm") == std::string::npos;
            });
            ASSERT_NE(moved, names.end());
            EXPECT_EQ(readAll(dir + "/" + *moved), content);
            EXPECT_NE(store.notice().find(*moved), std::string::npos) << store.notice();
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
            if (S_ISREG(info.st_mode)) {
                EXPECT_EQ(readAll(file), content);
            }
        }
    }
}

// Without the right to read it (root included: the override is dropped),
// the file is reported and left where it is.
TEST_F(StoreTest, AFileWithoutTheRightToReadItIsOnlyReported)
{
    cap_t caps = cap_get_proc();
    const cap_value_t overrides[] = {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH};
    cap_set_flag(caps, CAP_EFFECTIVE, 2, overrides, CAP_CLEAR);
    ASSERT_EQ(cap_set_proc(caps), 0);
    cap_free(caps);

    {
        HistoryStore good(path);
        CheckRecord record = completed(1, 1);
        ASSERT_TRUE(good.append(record));
    }
    const std::string dir = path.substr(0, path.rfind('/'));
    ::chmod(path.c_str(), 0);
    const auto before = namesIn(dir);
    HistoryStore store(path);
    EXPECT_FALSE(store.usable());
    EXPECT_NE(store.error().find("Permission denied"), std::string::npos) << store.error();
    EXPECT_EQ(namesIn(dir), before);
    ::chmod(path.c_str(), 0600);
    EXPECT_EQ(HistoryStore(path).records().size(), 1u);

    ::chmod(path.c_str(), 0400);
    HistoryStore readOnly(path);
    EXPECT_FALSE(readOnly.usable());
    EXPECT_NE(readOnly.error().find("read-only"), std::string::npos) << readOnly.error();
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
