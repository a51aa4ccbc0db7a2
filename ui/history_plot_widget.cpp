#include "ui/history_plot_widget.h"

#include <QPainter>

namespace ui {

HistoryPlotWidget::HistoryPlotWidget(const plot::PlotInput* input, QWidget* parent) : QWidget(parent), input_(input)
{
    setMinimumSize(320, 200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize HistoryPlotWidget::sizeHint() const
{
    return {820, 340};
}

void HistoryPlotWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    plot::PaintHistoryPlot(painter, QRectF(rect()), *input_, plot::PlotPalette::For(palette()), font());
}

} // namespace ui
