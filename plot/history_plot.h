#pragma once
// The picture of the clock over time: each check's offset with its error bar,
// the steps and the failed checks marked, the drift line through the checks
// since the last step, gaps left open, a local-time axis and a caption with
// the drift. Painting only: the window and the terminal give it a painter.

#include "history/check_record.h"
#include "history/drift.h"
#include "plot/plot_input.h"

#include <QColor>
#include <QFont>
#include <QRectF>

#include <cstdint>
#include <optional>
#include <vector>

class QPainter;
class QPalette;

namespace plot {

struct PlotPalette {
    QColor background;
    QColor text;
    QColor grid;
    QColor point;
    QColor errorBar;
    QColor drift;
    QColor step;
    QColor failure;
    QColor gap;

    static PlotPalette Light();
    static PlotPalette Dark();
    // Light or dark after the window's own colours.
    static PlotPalette For(const QPalette& palette);
};


// Paints into `area` (logical pixels) with `font` as the base size of every text.
void PaintHistoryPlot(QPainter& painter, const QRectF& area, const PlotInput& input, const PlotPalette& palette,
                      const QFont& font);

} // namespace plot
