#pragma once
// The History window's list: one row per check, newest first, over the
// records the window holds (never copied; 100,000 rows cost no widgets).

#include "history/check_record.h"

#include <QAbstractTableModel>

#include <string>
#include <vector>

namespace ui {

enum HistoryColumn {
    colTime, colServer, colAddress, colProtocol, colOffset, colBound, colDelay, colStratum, colOutcome, colClock,
    kHistoryColumnCount
};

// The cell's text: times in local time, seconds in the unit that reads best.
QString HistoryCellText(const history::CheckRecord& record, HistoryColumn column);
// What was done to the clock, as a person reads it: "stepped +72.4 ms".
std::string ClockActionText(const history::CheckRecord& record);

class HistoryTableModel : public QAbstractTableModel {
public:
    explicit HistoryTableModel(const std::vector<history::CheckRecord>* records, QObject* parent = nullptr);

    // After the records it shows were replaced.
    void reload();
    const history::CheckRecord& recordAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const std::vector<history::CheckRecord>* records_;
};

} // namespace ui
