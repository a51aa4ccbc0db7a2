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
    // Shows the window on the records of the file at `storePath` (made when
    // missing), or raises the one already open. `owner` (may be none) takes
    // it down with it; it is a window of its own all the same.
    ui::THistoryWindow* open(const std::string& storePath, std::int64_t nowUnixMs, QWidget* owner = nullptr);
    ui::THistoryWindow* window() const { return window_; }

private:
    QPointer<ui::THistoryWindow> window_;
};

} // namespace app
