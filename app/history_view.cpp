#include "app/history_view.h"

#include "history/drift.h"
#include "history/history_store.h"
#include "history/record_text.h"
#include "platform/file_system.h"
#include "platform/safe_file.h"
#include "ui/history_window.h"

namespace app {

HistoryView::~HistoryView()
{
    delete window_.data();
}

ui::THistoryWindow* HistoryView::open(const std::string& storePath, std::int64_t nowUnixMs)
{
    if (!window_) {
        window_ = new ui::THistoryWindow;
        plot::PlotInput input;
        input.nowUnixMs = nowUnixMs;
        std::string problem;
        {
            history::HistoryStore store(storePath);
            if (store.usable())
                input.records = store.records();
            else
                problem = "The history cannot be read: " + store.error();
        }
        input.drift = history::EstimateDrift(input.records, nowUnixMs);
        window_->setHistory(std::move(input), problem);
        ui::THistoryWindow* window = window_;
        window_->exportCsv = [window](const std::string& path) {
            // Whole or not at all: a failed write leaves any old file as it was.
            return platform::ReplaceFile(platform::PosixFileSystem(), path, history::CsvOf(window->history().records),
                                         0644);
        };
    }
    if (window_->isMinimized())
        window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
    return window_;
}

} // namespace app
