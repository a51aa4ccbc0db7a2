#include "app/history_view.h"

#include "app/history_csv.h"
#include "history/drift.h"
#include "history/history_store.h"
#include "ui/history_window.h"

namespace app {

ui::THistoryWindow* HistoryView::open(const std::string& storePath, std::int64_t nowUnixMs, QWidget* owner)
{
    if (!window_) {
        window_ = new ui::THistoryWindow(owner);
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
            return WriteHistoryCsv(path, window->history().records);
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
