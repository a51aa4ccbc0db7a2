#pragma once
// Every check's record in one SQLite file shared by the window and any number
// of terminal processes (WAL, a busy time-out). A file that cannot be used is
// reported once and never overwritten or deleted; the checks go on without it.

#include "history/check_record.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace history {

class HistoryStore {
public:
    // Opens (creating when missing) the database at `path`. When it cannot be
    // used, `error()` says why in one line and every call below does nothing.
    explicit HistoryStore(std::string path);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    bool usable() const;
    const std::string& error() const;

    // Stores the record and sets its id; false (and error()) when it could not.
    bool append(CheckRecord& record);
    // A step whose answer came later (timedate1, polkit).
    bool updateClockAction(std::int64_t id, ClockAction action, std::optional<double> stepSeconds,
                           const std::string& detail);
    // Oldest first; from `sinceUnixMs` on when given.
    std::vector<CheckRecord> records(std::optional<std::int64_t> sinceUnixMs = std::nullopt) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// $XDG_DATA_HOME/tikora/history.sqlite (default ~/.local/share/tikora/).
std::string DefaultHistoryPath();

} // namespace history
