#pragma once
// The History window: the picture of the clock over time, the drift, the list
// of every check and "Export CSV...". Its own top-level window; the records
// are given once, when it opens.

#include "plot/history_plot.h"

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QTableView;

namespace ui {

class HistoryPlotWidget;
class HistoryTableModel;

class THistoryWindow : public QWidget {
public:
    explicit THistoryWindow(QWidget* parent = nullptr);

    // Shows these records and this drift (`problem`: why the history could
    // not be read, shown above the list).
    void setHistory(plot::PlotInput input, const std::string& problem = {});
    const plot::PlotInput& history() const { return history_; }

    // Writes the records as CSV to `path`: empty on success, else why not.
    // Set by the owner (the text is the owner's).
    std::function<std::string(const std::string& path)> exportCsv;

    HistoryPlotWidget* plot = nullptr;
    QLabel* driftLabel = nullptr;
    QLabel* problemLabel = nullptr;
    QTableView* table = nullptr;
    HistoryTableModel* model = nullptr;
    QPushButton* btnExport = nullptr;
    QPushButton* btnClose = nullptr;

    void btnExportClick();

private:
    plot::PlotInput history_;
};

// The drift figure with what it rests on and what it predicts for now.
std::string DriftSummary(const plot::PlotInput& input);

} // namespace ui
