#pragma once
// The history's picture in a window, in the window's own colours.

#include "plot/history_plot.h"

#include <QWidget>

namespace ui {

class HistoryPlotWidget : public QWidget {
public:
    // `input` is the window's and outlives this widget.
    explicit HistoryPlotWidget(const plot::PlotInput* input, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const plot::PlotInput* input_;
};

} // namespace ui
