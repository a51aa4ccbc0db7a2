#pragma once
// Opens the History window on the history file: one window at a time (a
// second opening raises it), the records read once, when it opens.

#include "ui/history_window.h"

#include <QPointer>

#include <cstdint>
#include <string>

namespace app {

class HistoryView {
public:
    HistoryView() = default;
    HistoryView(const HistoryView&) = delete;
    HistoryView& operator=(const HistoryView&) = delete;
    // An open window goes with the view (the main window's end).
    ~HistoryView();

    // Shows the window on the records of the file at `storePath` (made when
    // missing), or raises the one already open. A window of its own, owned
    // by no other: no window manager ties it to the main window, which may
    // be hidden in the notification area.
    ui::THistoryWindow* open(const std::string& storePath, std::int64_t nowUnixMs);
    ui::THistoryWindow* window() const { return window_; }

private:
    QPointer<ui::THistoryWindow> window_;
};

} // namespace app
