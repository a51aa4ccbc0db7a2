#include "history/history_store.h"

#include "history/history_schema.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pwd.h>

namespace history {
namespace {

// Long enough for the window and a burst of terminal checks to take turns
// (each holds the write lock for well under a millisecond).
constexpr int kBusyTimeOutMs = 10'000;

std::string reasonOf(sqlite3* db, int code)
{
    const int systemError = db != nullptr ? sqlite3_system_errno(db) : 0;
    switch (code & 0xff) {
    case SQLITE_FULL:
        return "the disk is full";
    case SQLITE_READONLY:
        return "the file is read-only";
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return "permission denied";
    case SQLITE_NOTADB:
        return "the file is not a database";
    case SQLITE_CORRUPT:
        return "the database is damaged";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return "another program held the database too long";
    default:
        break;
    }
    if (systemError != 0)
        return std::strerror(systemError);
    return db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
}

// A file that is not (or no longer) a database is kept for whoever wants
// to look at it; anything else (no right, no room) is the system's to fix.
bool worthMovingAside(int code)
{
    return (code & 0xff) == SQLITE_NOTADB || (code & 0xff) == SQLITE_CORRUPT;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) { code_ = sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    int prepared() const { return code_; }
    sqlite3_stmt* get() const { return statement_; }

    void bind(int index, const std::string& text)
    {
        sqlite3_bind_text(statement_, index, text.data(), int(text.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, std::int64_t value) { sqlite3_bind_int64(statement_, index, value); }
    void bind(int index, std::optional<double> value)
    {
        value ? sqlite3_bind_double(statement_, index, *value) : sqlite3_bind_null(statement_, index);
    }
    void bind(int index, std::optional<int> value)
    {
        value ? sqlite3_bind_int(statement_, index, *value) : sqlite3_bind_null(statement_, index);
    }

private:
    sqlite3_stmt* statement_ = nullptr;
    int code_ = SQLITE_OK;
};

int execute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// One integer from a query such as "PRAGMA user_version".
int queryInt(sqlite3* db, const char* sql, std::int64_t& value)
{
    Statement statement(db, sql);
    if (statement.prepared() != SQLITE_OK)
        return statement.prepared();
    const int code = sqlite3_step(statement.get());
    if (code != SQLITE_ROW)
        return code == SQLITE_DONE ? SQLITE_CORRUPT : code;
    value = sqlite3_column_int64(statement.get(), 0);
    return SQLITE_OK;
}

int queryText(sqlite3* db, const char* sql, std::string& value)
{
    Statement statement(db, sql);
    if (statement.prepared() != SQLITE_OK)
        return statement.prepared();
    const int code = sqlite3_step(statement.get());
    if (code != SQLITE_ROW)
        return code == SQLITE_DONE ? SQLITE_CORRUPT : code;
    const auto* text = sqlite3_column_text(statement.get(), 0);
    value = text != nullptr ? reinterpret_cast<const char*>(text) : "";
    return SQLITE_OK;
}

std::optional<double> columnDouble(sqlite3_stmt* row, int column)
{
    if (sqlite3_column_type(row, column) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_double(row, column);
}

std::string columnText(sqlite3_stmt* row, int column)
{
    const auto* text = sqlite3_column_text(row, column);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

// mkdir -p for the folders above the file; new ones are the user's alone.
int makeParentFolders(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

std::string utcStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &parts);
    return text;
}

bool exists(const std::string& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace

struct HistoryStore::Impl {
    std::string path;
    Options options;
    sqlite3* db = nullptr;
    std::string error;
    std::string reason;   // the last failure's, in a few words
    std::string notice;
    ino_t openedInode = 0;   // which file `open` judged

    ~Impl() { close(); }

    void close()
    {
        sqlite3_close_v2(db);
        db = nullptr;
    }

    void fail(const std::string& what, int code)
    {
        reason = reasonOf(db, code);
        error = "The check history " + path + " cannot be used (" + what + ": " + reason +
                "); checks are not recorded.";
    }

    // Opens, checks and brings the schema up to date; the code of the first
    // thing that failed, with `error` set.
    int open()
    {
        if (const int folderError = makeParentFolders(path); folderError != 0) {
            error = "The check history " + path + " cannot be used (its folder cannot be made: " +
                    std::strerror(folderError) + "); checks are not recorded.";
            return SQLITE_CANTOPEN;
        }
        const bool existed = exists(path);
        // NOFOLLOW-free on purpose: a history kept on another disk by a link is the user's choice.
        int code = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (code != SQLITE_OK) {
            fail("opening", code);
            return code;
        }
        sqlite3_extended_result_codes(db, 1);
        struct stat info{};
        if (::stat(path.c_str(), &info) == 0)
            openedInode = info.st_ino;
        sqlite3_busy_timeout(db, kBusyTimeOutMs);
        if (sqlite3_db_readonly(db, "main") == 1) {
            fail("opening", SQLITE_READONLY);
            return SQLITE_READONLY;
        }
        if (!existed)
            ::chmod(path.c_str(), 0600);

        // The first read of the header tells a database from anything else.
        std::int64_t version = 0;
        if ((code = queryInt(db, "PRAGMA user_version", version)) != SQLITE_OK) {
            fail("reading", code);
            return code;
        }
        if (version > kSchemaVersion) {
            error = "The check history " + path + " was written by a newer Tikora (schema " +
                    std::to_string(version) + "); checks are not recorded.";
            return SQLITE_ERROR;
        }
        if (options.verify && version > 0) {
            std::string verdict;
            code = queryText(db, "PRAGMA quick_check(1)", verdict);
            if (code == SQLITE_OK && verdict != "ok")
                code = SQLITE_CORRUPT;
            if (code != SQLITE_OK) {
                fail("checking", code);
                return code;
            }
        }
        std::string mode;
        if ((code = queryText(db, "PRAGMA journal_mode", mode)) != SQLITE_OK) {
            fail("reading", code);
            return code;
        }
        // WAL lets readers and one writer work at once; it is the file's
        // setting, so only the first opener changes it.
        if (mode != "wal") {
            if ((code = queryText(db, "PRAGMA journal_mode=WAL", mode)) != SQLITE_OK) {
                fail("setting it up", code);
                return code;
            }
        }
        // A killed process loses nothing; a power cut may lose the last few
        // checks but never the database.
        execute(db, "PRAGMA synchronous=NORMAL");
        if (version < kSchemaVersion && (code = migrate()) != SQLITE_OK) {
            fail("setting it up", code);
            return code;
        }
        return SQLITE_OK;
    }

    // Each step in one transaction that re-reads the version, as another
    // process may have done it meanwhile.
    int migrate()
    {
        int code = execute(db, "BEGIN IMMEDIATE");
        if (code != SQLITE_OK)
            return code;
        std::int64_t version = 0;
        code = queryInt(db, "PRAGMA user_version", version);
        for (; code == SQLITE_OK && version < kSchemaVersion; ++version)
            code = execute(db, kMigrations[version]);
        if (code == SQLITE_OK) {
            const std::string setVersion = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
            code = execute(db, setVersion.c_str());
        }
        if (code == SQLITE_OK)
            code = execute(db, "COMMIT");
        if (code != SQLITE_OK)
            execute(db, "ROLLBACK");
        return code;
    }

    // Renames the file (and its journal, which belongs to it and would be
    // replayed into a new database of the same name) beside itself.
    bool moveAside()
    {
        // Another process may have moved the bad file already and started a
        // new one: that one is not to be moved.
        struct stat info{};
        if (::stat(path.c_str(), &info) != 0 || info.st_ino != openedInode)
            return true;
        std::string target = path + ".unreadable-" + utcStamp();
        for (int n = 2; exists(target) && n < 100; ++n)
            target = path + ".unreadable-" + utcStamp() + "-" + std::to_string(n);
        if (::rename(path.c_str(), target.c_str()) != 0)
            return errno == ENOENT;   // moved by another process just now
        for (const char* suffix : {"-wal", "-shm"})
            if (exists(path + suffix))
                ::rename((path + suffix).c_str(), (target + suffix).c_str());
        notice = "The check history " + path + " could not be read (" + reason + "); it was moved to " + target +
                 " and a new history starts.";
        return true;
    }
};

HistoryStore::HistoryStore(std::string path) : HistoryStore(std::move(path), Options{}) {}

HistoryStore::HistoryStore(std::string path, Options options) : impl_(std::make_unique<Impl>())
{
    impl_->path = std::move(path);
    impl_->options = options;
    if (impl_->path.empty()) {
        impl_->error = "There is no home folder to keep the check history in; checks are not recorded.";
        return;
    }
    const int code = impl_->open();
    if (code == SQLITE_OK)
        return;
    impl_->close();
    if (!worthMovingAside(code))
        return;
    if (!impl_->moveAside())
        return;
    impl_->error.clear();
    if (impl_->open() != SQLITE_OK)
        impl_->close();
}

HistoryStore::~HistoryStore() = default;

bool HistoryStore::usable() const
{
    return impl_->db != nullptr;
}

const std::string& HistoryStore::error() const
{
    return impl_->error;
}

const std::string& HistoryStore::notice() const
{
    return impl_->notice;
}

const std::string& HistoryStore::path() const
{
    return impl_->path;
}

bool HistoryStore::append(CheckRecord& record)
{
    sqlite3* db = impl_->db;
    if (db == nullptr)
        return false;
    int code = execute(db, "BEGIN IMMEDIATE");
    if (code == SQLITE_OK) {
        Statement insert(db, "INSERT INTO checks (time_ms, server, address, protocol, completed, failure, offset, "
                             "error_bound, delay, stratum, authenticated, clock_action, step, clock_detail) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        code = insert.prepared();
        if (code == SQLITE_OK) {
            insert.bind(1, record.timeUnixMs);
            insert.bind(2, record.server);
            insert.bind(3, record.address);
            insert.bind(4, record.protocol);
            insert.bind(5, std::int64_t(record.completed));
            insert.bind(6, record.failureReason);
            insert.bind(7, record.offsetSeconds);
            insert.bind(8, record.errorBoundSeconds);
            insert.bind(9, record.delaySeconds);
            insert.bind(10, record.stratum);
            insert.bind(11, std::int64_t(record.authenticated));
            insert.bind(12, std::string(ClockActionName(record.clockAction)));
            insert.bind(13, record.stepSeconds);
            insert.bind(14, record.clockDetail);
            code = sqlite3_step(insert.get());
            if (code == SQLITE_DONE)
                code = SQLITE_OK;
        }
    }
    std::int64_t id = 0;
    if (code == SQLITE_OK) {
        id = sqlite3_last_insert_rowid(db);
        // Ids only grow (AUTOINCREMENT), so the newest N are one range of the
        // key: a cheap delete of usually one row.
        Statement trim(db, "DELETE FROM checks WHERE id <= ?");
        code = trim.prepared();
        if (code == SQLITE_OK) {
            trim.bind(1, id - std::int64_t(impl_->options.maxRecords));
            code = sqlite3_step(trim.get());
            if (code == SQLITE_DONE)
                code = SQLITE_OK;
        }
    }
    if (code == SQLITE_OK)
        code = execute(db, "COMMIT");
    if (code != SQLITE_OK) {
        execute(db, "ROLLBACK");
        impl_->fail("writing", code);
        return false;
    }
    record.id = id;
    return true;
}

bool HistoryStore::updateClockAction(std::int64_t id, ClockAction action, std::optional<double> stepSeconds,
                                     const std::string& detail)
{
    sqlite3* db = impl_->db;
    if (db == nullptr)
        return false;
    Statement update(db, "UPDATE checks SET clock_action = ?, step = ?, clock_detail = ? WHERE id = ?");
    int code = update.prepared();
    if (code == SQLITE_OK) {
        update.bind(1, std::string(ClockActionName(action)));
        update.bind(2, stepSeconds);
        update.bind(3, detail);
        update.bind(4, id);
        code = sqlite3_step(update.get());
    }
    if (code != SQLITE_DONE) {
        impl_->fail("writing", code);
        return false;
    }
    return true;
}

std::vector<CheckRecord> HistoryStore::records(std::optional<std::int64_t> sinceUnixMs) const
{
    std::vector<CheckRecord> result;
    sqlite3* db = impl_->db;
    if (db == nullptr)
        return result;
    Statement select(db, "SELECT id, time_ms, server, address, protocol, completed, failure, offset, error_bound, "
                         "delay, stratum, authenticated, clock_action, step, clock_detail FROM checks "
                         "WHERE time_ms >= ? ORDER BY time_ms, id");
    int code = select.prepared();
    if (code == SQLITE_OK) {
        select.bind(1, sinceUnixMs.value_or(INT64_MIN));
        sqlite3_stmt* row = select.get();
        while ((code = sqlite3_step(row)) == SQLITE_ROW) {
            CheckRecord& record = result.emplace_back();
            record.id = sqlite3_column_int64(row, 0);
            record.timeUnixMs = sqlite3_column_int64(row, 1);
            record.server = columnText(row, 2);
            record.address = columnText(row, 3);
            record.protocol = columnText(row, 4);
            record.completed = sqlite3_column_int(row, 5) != 0;
            record.failureReason = columnText(row, 6);
            record.offsetSeconds = columnDouble(row, 7);
            record.errorBoundSeconds = columnDouble(row, 8);
            record.delaySeconds = columnDouble(row, 9);
            if (sqlite3_column_type(row, 10) != SQLITE_NULL)
                record.stratum = sqlite3_column_int(row, 10);
            record.authenticated = sqlite3_column_int(row, 11) != 0;
            record.clockAction = ClockActionFromName(columnText(row, 12)).value_or(ClockAction::Nothing);
            record.stepSeconds = columnDouble(row, 13);
            record.clockDetail = columnText(row, 14);
        }
    }
    if (code != SQLITE_DONE)
        impl_->fail("reading", code);
    return result;
}

std::string DefaultHistoryPath()
{
    constexpr const char* kFile = "/tikora/history.sqlite";
    // A relative XDG_DATA_HOME would name another folder in every working directory.
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/')
        return std::string(data) + kFile;
    const char* home = std::getenv("HOME");
    std::string homeFolder = home != nullptr && home[0] == '/' ? home : "";
    if (homeFolder.empty()) {
        const passwd* entry = ::getpwuid(::getuid());
        if (entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/')
            homeFolder = entry->pw_dir;
    }
    return homeFolder.empty() ? std::string() : homeFolder + "/.local/share" + kFile;
}

} // namespace history
