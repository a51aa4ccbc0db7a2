#include "ui/history_window.h"

#include "plot/plot_layout.h"
#include "ui/history_plot_widget.h"
#include "ui/history_table_model.h"
#include "ui/view_form_layout.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace ui {

std::string DriftSummary(const plot::PlotInput& input)
{
    std::string text = plot::DriftCaption(input.drift);
    if (!input.drift)
        return text + " (three completed checks since the last step are needed)";
    const history::DriftEstimate& drift = *input.drift;
    const QString since = QLocale::c().toString(QDateTime::fromMSecsSinceEpoch(drift.firstUnixMs),
                                                QStringLiteral("d MMM HH:mm"));
    const double predicted = drift.predictedOffsetNowSeconds;
    text += " from " + std::to_string(drift.checks) + " checks since " + since.toStdString() +
            "; offset predicted for now: " +
            plot::FormatOffset(predicted, plot::OffsetUnitFor(predicted), 1);
    return text;
}

THistoryWindow::THistoryWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("Tikora: History"));
    setWindowIcon(ApplicationIcon());
    setAttribute(Qt::WA_DeleteOnClose);

    plot = new HistoryPlotWidget(&history_, this);
    driftLabel = new QLabel(this);
    driftLabel->setObjectName(QStringLiteral("driftLabel"));
    driftLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    problemLabel = new QLabel(this);
    problemLabel->setObjectName(QStringLiteral("problemLabel"));
    problemLabel->setWordWrap(true);
    problemLabel->hide();

    model = new HistoryTableModel(&history_.records, this);
    table = new QTableView(this);
    table->setObjectName(QStringLiteral("historyTable"));
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setAlternatingRowColors(true);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    // Fixed row heights and column widths from the font: measuring 100,000
    // rows' contents would cost more than the whole window.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table->horizontalHeader()->setStretchLastSection(true);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[kHistoryColumnCount] = {20, 18, 15, 8, 11, 10, 10, 7, 22, 16};
    for (int column = 0; column < kHistoryColumnCount; ++column)
        table->setColumnWidth(column, widths[column] * digit);

    btnExport = new QPushButton(QStringLiteral("&Export CSV..."), this);
    btnExport->setObjectName(QStringLiteral("btnExport"));
    btnClose = new QPushButton(QStringLiteral("&Close"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    connect(btnExport, &QPushButton::clicked, this, &THistoryWindow::btnExportClick);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnExport);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plot, 3);
    layout->addWidget(driftLabel);
    layout->addWidget(problemLabel);
    layout->addWidget(table, 2);
    layout->addLayout(buttons);
    // At 200% on a laptop's screen the size it wants is more than the screen holds.
    resize(QSize(900, 680).boundedTo(screen()->availableGeometry().size() * 9 / 10));
    setHistory({});
}

void THistoryWindow::setHistory(plot::PlotInput input, const std::string& problem)
{
    history_ = std::move(input);
    // Oldest first, as the list and the plot expect.
    if (!std::is_sorted(history_.records.begin(), history_.records.end(),
                        [](const auto& a, const auto& b) { return a.timeUnixMs < b.timeUnixMs; }))
        std::stable_sort(history_.records.begin(), history_.records.end(),
                         [](const auto& a, const auto& b) { return a.timeUnixMs < b.timeUnixMs; });
    model->reload();
    driftLabel->setText(QString::fromStdString(DriftSummary(history_)));
    problemLabel->setText(QString::fromStdString(problem));
    problemLabel->setVisible(!problem.empty());
    btnExport->setEnabled(!history_.records.empty());
    plot->update();
}

void THistoryWindow::btnExportClick()
{
    if (!exportCsv)
        return;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"),
                                                      QDir::home().filePath(QStringLiteral("tikora-history.csv")),
                                                      QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    const std::string failure = exportCsv(path.toStdString());
    if (!failure.empty())
        QMessageBox::warning(this, QStringLiteral("Export CSV"),
                             QStringLiteral("Could not write %1: %2").arg(path, QString::fromStdString(failure)));
}

} // namespace ui
