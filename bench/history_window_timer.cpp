// The History window's opening on a full history: 100,000 records in a real
// SQLite file (the store's own limit), from the menu's click to the window
// painted: the file read, the drift fitted, the plot and the list drawn.
// Usage: history_window_timer [RECORDS] (offscreen; prints the median of 5).
#include "app/history_view.h"
#include "history/history_store.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Written in one transaction: appending one by one would measure the store's
// writes, not the window.
bool Fill(const std::string& path, int count)
{
    {
        history::HistoryStore store(path);   // makes the file and its schema
        if (!store.usable())
            return false;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO checks (time_ms, server, address, protocol, completed, failure, offset,"
                       " error_bound, delay, stratum, authenticated, clock_action, step, clock_detail)"
                       " VALUES (?, 'pool.ntp.org', '127.0.0.1', 'ntp', ?, ?, ?, 0.0004, 0.012, 2, 0, ?, ?, '')",
                       -1, &insert, nullptr);
    const std::int64_t start = 1'700'000'000'000;
    for (int i = 0; i < count; ++i) {
        const bool completed = i % 37 != 0;
        const bool stepped = i % 5000 == 4999;
        sqlite3_bind_int64(insert, 1, start + std::int64_t(i) * 600'000);   // every ten minutes
        sqlite3_bind_int(insert, 2, completed);
        sqlite3_bind_text(insert, 3, completed ? "" : "no answer within 10 seconds", -1, SQLITE_STATIC);
        if (completed)
            sqlite3_bind_double(insert, 4, 0.001 * (i % 5000) * 0.012 + 0.0002 * (i % 7));
        else
            sqlite3_bind_null(insert, 4);
        sqlite3_bind_text(insert, 5, stepped ? "stepped" : "nothing", -1, SQLITE_STATIC);
        if (stepped)
            sqlite3_bind_double(insert, 6, 0.06);
        else
            sqlite3_bind_null(insert, 6);
        if (sqlite3_step(insert) != SQLITE_DONE)
            return false;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    const bool done = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return done;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100'000;
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("history.sqlite")).toStdString();
    if (!folder.isValid() || !Fill(path, records)) {
        std::fprintf(stderr, "history_window_timer: could not fill %s\n", path.c_str());
        return 1;
    }
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
        app::HistoryView view;
        QElapsedTimer timer;
        timer.start();
        ui::THistoryWindow* window = view.open(path, 1'700'000'000'000 + std::int64_t(records) * 600'000);
        QApplication::processEvents();
        window->grab();   // everything painted once, as on the screen
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (int(window->history().records.size()) != records) {
            std::fprintf(stderr, "history_window_timer: %zu records shown of %d\n",
                         window->history().records.size(), records);
            return 1;
        }
        window->close();
        QApplication::processEvents();
    }
    std::sort(times.begin(), times.end());
    std::printf("  History window on %d records: %.1f ms (median of 5; aim under 300 ms)\n", records, times[2]);
    return times[2] < 300.0 ? 0 : 1;
}
