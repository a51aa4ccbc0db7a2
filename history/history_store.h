#pragma once
// Every check's record in one SQLite file shared by the window and any number
// of terminal processes (WAL, a busy time-out). A file that cannot be used is
// reported once and never overwritten or deleted; the checks go on without it.

#include "history/check_record.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace history {

class HistoryStore {
public:
    struct Options {
        std::size_t maxRecords = 100'000;   // the newest are kept
        // A full read of the file on opening (quick_check). The window and
        // `history` afford it; a single terminal check relies on SQLite's
        // own checks of the pages it touches.
        bool verify = true;
    };

    // Opens (creating when missing) the database at `path`. When it cannot be
    // used, `error()` says why in one line and every call below does nothing.
    explicit HistoryStore(std::string path);
    HistoryStore(std::string path, Options options);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    bool usable() const;
    const std::string& error() const;
    // The one line to log when a damaged file was moved aside on opening;
    // empty otherwise.
    const std::string& notice() const;
    const std::string& path() const;

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
