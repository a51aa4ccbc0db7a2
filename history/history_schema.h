#pragma once
// The database's layout, one step per schema version. A new version appends
// its step (ALTER TABLE ..., new tables) and raises kSchemaVersion; files of
// any older version are brought up to date when opened.

namespace history {

inline constexpr int kSchemaVersion = 1;

// kMigrations[v] takes a file from version v to v + 1.
inline constexpr const char* kMigrations[kSchemaVersion] = {
    // 0 → 1: the first layout. AUTOINCREMENT: an id is never reused, so the
    // newest records are always the highest ids and a late update of a trimmed
    // record cannot land on a newer one.
    "CREATE TABLE checks ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " time_ms INTEGER NOT NULL,"
    " server TEXT NOT NULL,"
    " address TEXT NOT NULL,"
    " protocol TEXT NOT NULL,"
    " completed INTEGER NOT NULL,"
    " failure TEXT NOT NULL,"
    " offset REAL,"
    " error_bound REAL,"
    " delay REAL,"
    " stratum INTEGER,"
    " authenticated INTEGER NOT NULL,"
    " clock_action TEXT NOT NULL,"
    " step REAL,"
    " clock_detail TEXT NOT NULL);"
    "CREATE INDEX checks_by_time ON checks (time_ms);",
};

} // namespace history
