#include "cli/check_recorder.h"

#include "history/history_store.h"

namespace cli {

std::function<void(const history::CheckRecord&)> RecordInHistory(std::ostream& err, std::string path)
{
    return [&err, path = std::move(path)](const history::CheckRecord& record) {
        // One check, one write: the full quick_check of the file is left to
        // the window and `tikora-cli history`; SQLite still checks each page
        // this write touches.
        history::HistoryStore store(path.empty() ? history::DefaultHistoryPath() : path,
                                    {.maxRecords = 100'000, .verify = false});
        if (!store.notice().empty())
            err << "tikora-cli: " << store.notice() << '\n';
        history::CheckRecord stored = record;
        if (!store.append(stored))
            err << "tikora-cli: " << store.error() << '\n';
    };
}

} // namespace cli
