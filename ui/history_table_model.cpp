#include "ui/history_table_model.h"

#include "plot/plot_layout.h"

#include <QBrush>
#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace ui {

namespace {

QString Seconds(const std::optional<double>& seconds, bool signedValue)
{
    if (!seconds || !std::isfinite(*seconds))
        return {};
    const plot::OffsetUnit unit = plot::OffsetUnitFor(*seconds);
    // About four significant digits, whatever the unit.
    const double size = std::abs(*seconds * unit.perSecond);
    std::string text = plot::FormatOffset(*seconds, unit, size >= 100 ? 1 : size >= 10 ? 2 : 3);
    if (!signedValue && !text.empty() && text[0] == '+')
        text.erase(0, 1);
    return QString::fromStdString(text);
}

const char* const kHeaders[kHistoryColumnCount] = {"Time", "Server", "Address", "Protocol", "Offset",
                                                   "\u00b1 Bound", "Delay", "Stratum", "Outcome", "Clock"};

} // namespace

std::string ClockActionText(const history::CheckRecord& record)
{
    switch (record.clockAction) {
    case history::ClockAction::Nothing:
        return "";
    case history::ClockAction::TimeService:
        return "left to the time service";
    case history::ClockAction::Stepped:
        if (record.stepSeconds)
            return "stepped " + plot::FormatOffset(*record.stepSeconds, plot::OffsetUnitFor(*record.stepSeconds), 3);
        return "stepped";
    case history::ClockAction::Refused:
        return record.clockDetail.empty() ? "step refused" : "step refused: " + record.clockDetail;
    case history::ClockAction::Pending:
        return "step asked for";
    }
    return "";
}

QString HistoryCellText(const history::CheckRecord& record, HistoryColumn column)
{
    switch (column) {
    case colTime:
        return QLocale::c().toString(QDateTime::fromMSecsSinceEpoch(record.timeUnixMs),
                                     QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case colServer:
        return QString::fromStdString(record.server);
    case colAddress:
        return QString::fromStdString(record.address);
    case colProtocol:
        return record.protocol == "rfc868" ? QStringLiteral("Time")
                                           : QString::fromStdString(record.protocol).toUpper();
    case colOffset:
        return Seconds(record.offsetSeconds, true);
    case colBound:
        return Seconds(record.errorBoundSeconds, false);
    case colDelay:
        return Seconds(record.delaySeconds, false);
    case colStratum:
        return record.stratum ? QString::number(*record.stratum) : QString();
    case colOutcome:
        if (record.completed)
            return record.authenticated ? QStringLiteral("completed, authenticated") : QStringLiteral("completed");
        return record.failureReason.empty() ? QStringLiteral("failed")
                                            : QStringLiteral("failed: ") + QString::fromStdString(record.failureReason);
    case colClock:
        return QString::fromStdString(ClockActionText(record));
    case kHistoryColumnCount:
        break;
    }
    return {};
}

HistoryTableModel::HistoryTableModel(const std::vector<history::CheckRecord>* records, QObject* parent)
    : QAbstractTableModel(parent), records_(records)
{
}

void HistoryTableModel::reload()
{
    beginResetModel();
    endResetModel();
}

const history::CheckRecord& HistoryTableModel::recordAt(int row) const
{
    return (*records_)[records_->size() - 1 - std::size_t(row)];
}

int HistoryTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(records_->size());
}

int HistoryTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kHistoryColumnCount;
}

QVariant HistoryTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kHistoryColumnCount)
        return {};
    const history::CheckRecord& record = recordAt(index.row());
    const auto column = HistoryColumn(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return HistoryCellText(record, column);
    case Qt::TextAlignmentRole:
        if (column == colOffset || column == colBound || column == colDelay || column == colStratum)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    default:
        return {};
    }
}

QVariant HistoryTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kHistoryColumnCount)
        return QString::fromUtf8(kHeaders[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace ui
