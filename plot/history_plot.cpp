#include "plot/history_plot.h"

#include "plot/plot_layout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <map>

namespace plot {

PlotPalette PlotPalette::Light()
{
    return {QColor(0xff, 0xff, 0xff), QColor(0x20, 0x20, 0x20), QColor(0xe2, 0xe2, 0xe2), QColor(0x1f, 0x5f, 0xbf),
            QColor(0x7f, 0xa3, 0xdb), QColor(0x2e, 0x8b, 0x3d), QColor(0xc2, 0x6a, 0x00), QColor(0xc8, 0x1e, 0x1e),
            QColor(0xf0, 0xf0, 0xf0)};
}

PlotPalette PlotPalette::Dark()
{
    return {QColor(0x23, 0x26, 0x29), QColor(0xe6, 0xe6, 0xe6), QColor(0x3c, 0x41, 0x46), QColor(0x6c, 0xb4, 0xff),
            QColor(0x3f, 0x6f, 0xa8), QColor(0x6f, 0xd8, 0x7f), QColor(0xff, 0xb0, 0x40), QColor(0xff, 0x6b, 0x6b),
            QColor(0x30, 0x34, 0x38)};
}

PlotPalette PlotPalette::For(const QPalette& palette)
{
    const bool dark = palette.color(QPalette::Base).lightness() < 128;
    PlotPalette made = dark ? Dark() : Light();
    made.background = palette.color(QPalette::Base);
    made.text = palette.color(QPalette::Text);
    return made;
}

namespace {

struct Layout {
    QRectF plot;        // the data area
    QRectF caption;     // the drift line of text
    Mapping map;
};

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// Error bars and points, one per pixel column at most: 100,000 checks paint
// as fast as the few hundred columns they fall into, and look the same.
struct Column {
    double lowBar = INFINITY, highBar = -INFINITY;
    double lowPoint = INFINITY, highPoint = -INFINITY;
};

void PaintChecks(QPainter& painter, const Layout& layout, const std::vector<history::CheckRecord>& records,
                 const PlotPalette& palette)
{
    std::map<int, Column> columns;
    for (const history::CheckRecord& record : records) {
        if (!record.completed || !record.offsetSeconds || !std::isfinite(*record.offsetSeconds))
            continue;
        const double bound = std::abs(record.errorBoundSeconds.value_or(0));
        Column& column = columns[int(std::lround(layout.map.x(double(record.timeUnixMs))))];
        column.lowBar = std::min(column.lowBar, *record.offsetSeconds - bound);
        column.highBar = std::max(column.highBar, *record.offsetSeconds + bound);
        column.lowPoint = std::min(column.lowPoint, *record.offsetSeconds);
        column.highPoint = std::max(column.highPoint, *record.offsetSeconds);
    }
    QVector<QLineF> bars;
    QVector<QLineF> caps;
    QVector<QPointF> points;
    for (const auto& [x, column] : columns) {
        const double top = layout.map.y(column.highBar);
        const double bottom = layout.map.y(column.lowBar);
        if (bottom - top >= 1.0) {
            bars.push_back({QPointF(x, top), QPointF(x, bottom)});
            caps.push_back({QPointF(x - 2.5, top), QPointF(x + 2.5, top)});
            caps.push_back({QPointF(x - 2.5, bottom), QPointF(x + 2.5, bottom)});
        }
        points.push_back({double(x), layout.map.y(column.lowPoint)});
        if (column.highPoint != column.lowPoint)
            points.push_back({double(x), layout.map.y(column.highPoint)});
    }
    painter.setPen(QPen(palette.errorBar, 1.0));
    painter.drawLines(bars);
    painter.drawLines(caps);
    painter.setPen(QPen(palette.point, 4.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawPoints(points.data(), int(points.size()));
}

void PaintLegend(QPainter& painter, const QRectF& row, const PlotPalette& palette, const QFont& font)
{
    painter.setFont(font);
    const QFontMetricsF metrics(font);
    const double mark = metrics.height();
    double x = row.right();
    // Right to left, so the row ends at the area's edge.
    struct Entry {
        const char* text;
        int kind;
    };
    const Entry entries[] = {{"failed", 3}, {"step", 2}, {"drift", 1}, {"offset \u00b1 bound", 0}};
    for (const Entry& entry : entries) {
        const QString text = QString::fromUtf8(entry.text);
        const double textWidth = metrics.horizontalAdvance(text);
        x -= textWidth;
        if (x - mark < row.left())
            return;
        painter.setPen(palette.text);
        painter.drawText(QRectF(x, row.top(), textWidth, row.height()), Qt::AlignVCenter | Qt::AlignLeft, text);
        const QPointF centre(x - mark * 0.9, row.center().y());
        switch (entry.kind) {
        case 0:
            painter.setPen(QPen(palette.errorBar, 1.0));
            painter.drawLine(QPointF(centre.x(), centre.y() - mark * 0.4), QPointF(centre.x(), centre.y() + mark * 0.4));
            painter.setPen(QPen(palette.point, 4.5, Qt::SolidLine, Qt::RoundCap));
            painter.drawPoint(centre);
            break;
        case 1:
            painter.setPen(QPen(palette.drift, 2.0));
            painter.drawLine(QPointF(centre.x() - mark * 0.45, centre.y()), QPointF(centre.x() + mark * 0.45, centre.y()));
            break;
        case 2:
            painter.setPen(QPen(palette.step, 1.5, Qt::DashLine));
            painter.drawLine(QPointF(centre.x(), centre.y() - mark * 0.45), QPointF(centre.x(), centre.y() + mark * 0.45));
            break;
        default:
            painter.setPen(QPen(palette.failure, 1.8));
            painter.drawLine(centre + QPointF(-3.5, -3.5), centre + QPointF(3.5, 3.5));
            painter.drawLine(centre + QPointF(-3.5, 3.5), centre + QPointF(3.5, -3.5));
            break;
        }
        x -= mark * 1.5 + metrics.horizontalAdvance(QLatin1Char(' ')) * 2;
    }
}

} // namespace

void PaintHistoryPlot(QPainter& painter, const QRectF& area, const PlotInput& input, const PlotPalette& palette,
                      const QFont& font)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillRect(area, palette.background);

    QFont small = font;
    if (small.pointSizeF() > 0)
        small.setPointSizeF(font.pointSizeF() * 0.9);
    else
        small.setPixelSize(std::max(1, int(font.pixelSize() * 0.9)));
    QFont bold = font;
    bold.setBold(true);
    const QFontMetricsF metrics(small);
    const QFontMetricsF boldMetrics(bold);
    const double pad = std::max(4.0, metrics.height() * 0.4);

    // The two axes' ranges and ticks.
    const Range offsets = OffsetRange(input.records, input.drift);
    const Range times = TimeRange(input.records, input.nowUnixMs);
    const int rowsForTicks = std::max(3, int((area.height() - 4 * metrics.height()) / (metrics.height() * 2.2)));
    const Ticks offsetTicks = NiceTicks(offsets, std::min(rowsForTicks, 9));
    const double largest = std::max(std::abs(offsetTicks.covered.low), std::abs(offsetTicks.covered.high));
    const OffsetUnit unit = OffsetUnitFor(largest);
    const int decimals = DecimalsFor(offsetTicks.step, unit);
    double labelWidth = 0;
    for (const double value : offsetTicks.values)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(Q(FormatOffset(value, unit, decimals))));

    Layout layout;
    layout.caption = QRectF(area.left() + pad, area.top() + pad, area.width() - 2 * pad, boldMetrics.height());
    const double top = layout.caption.bottom() + pad;
    const double bottom = area.bottom() - pad - 2 * metrics.height() - pad * 0.5;
    const double left = area.left() + pad + labelWidth + pad;
    const double right = area.right() - pad - metrics.horizontalAdvance(QStringLiteral("00:00")) / 2;
    layout.plot = QRectF(QPointF(left, top), QPointF(std::max(left + 1, right), std::max(top + 1, bottom)));
    layout.map = {layout.plot.left(), layout.plot.top(), layout.plot.width(), layout.plot.height(), times,
                  offsetTicks.covered};

    // The caption and the legend above the plot.
    painter.setFont(bold);
    painter.setPen(palette.text);
    const QString caption = Q(DriftCaption(input.drift));
    painter.drawText(layout.caption, Qt::AlignLeft | Qt::AlignVCenter, caption);
    QRectF legendRow = layout.caption;
    legendRow.setLeft(layout.caption.left() + boldMetrics.horizontalAdvance(caption) + 3 * pad);
    PaintLegend(painter, legendRow, palette, small);

    // Grid and tick labels.
    painter.setFont(small);
    painter.setPen(QPen(palette.grid, 1.0));
    for (const double value : offsetTicks.values)
        painter.drawLine(QPointF(layout.plot.left(), layout.map.y(value)), QPointF(layout.plot.right(), layout.map.y(value)));
    const double labelSpace = metrics.horizontalAdvance(QStringLiteral("00 Dec")) * 1.8;
    const int timeTickCount = std::max(2, int(layout.plot.width() / labelSpace));
    const std::vector<TimeTick> timeTicks = TimeTicks(std::int64_t(times.low), std::int64_t(times.high), timeTickCount);
    for (const TimeTick& tick : timeTicks) {
        const double x = layout.map.x(double(tick.unixMs));
        painter.drawLine(QPointF(x, layout.plot.top()), QPointF(x, layout.plot.bottom()));
    }
    if (offsetTicks.covered.low < 0 && offsetTicks.covered.high > 0) {
        painter.setPen(QPen(palette.text, 1.0));
        painter.setOpacity(0.45);
        painter.drawLine(QPointF(layout.plot.left(), layout.map.y(0)), QPointF(layout.plot.right(), layout.map.y(0)));
        painter.setOpacity(1.0);
    }
    painter.setPen(palette.text);
    for (const double value : offsetTicks.values) {
        const QRectF box(area.left() + pad, layout.map.y(value) - metrics.height() / 2, labelWidth, metrics.height());
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter, Q(FormatOffset(value, unit, decimals)));
    }
    for (const TimeTick& tick : timeTicks) {
        const double x = layout.map.x(double(tick.unixMs));
        const QRectF box(x - labelSpace / 2, layout.plot.bottom() + pad * 0.5, labelSpace, 2 * metrics.height());
        painter.drawText(box, Qt::AlignHCenter | Qt::AlignTop, Q(tick.label));
    }

    painter.save();
    painter.setClipRect(layout.plot.adjusted(-3, -3, 3, 3));

    // Gaps: a band with no checks in it.
    std::vector<std::int64_t> moments;
    moments.reserve(input.records.size());
    for (const history::CheckRecord& record : input.records)
        moments.push_back(record.timeUnixMs);
    std::sort(moments.begin(), moments.end());
    for (const Gap& gap : FindGaps(moments)) {
        const double from = layout.map.x(double(gap.fromUnixMs));
        const double to = layout.map.x(double(gap.toUnixMs));
        const QRectF band(from + 3, layout.plot.top(), std::max(0.0, to - from - 6), layout.plot.height());
        painter.fillRect(band, QBrush(palette.gap));
        painter.fillRect(band, QBrush(palette.grid, Qt::BDiagPattern));
        const QString text = QStringLiteral("no checks");
        if (band.width() > metrics.horizontalAdvance(text) + 2 * pad) {
            painter.setPen(palette.text);
            painter.setOpacity(0.7);
            painter.drawText(band.adjusted(0, pad, 0, 0), Qt::AlignHCenter | Qt::AlignTop, text);
            painter.setOpacity(1.0);
        }
    }

    // Steps of the clock: a dashed line where the offsets jump, with the size.
    for (const history::CheckRecord& record : input.records) {
        if (record.clockAction != history::ClockAction::Stepped)
            continue;
        const double x = layout.map.x(double(record.timeUnixMs));
        painter.setPen(QPen(palette.step, 1.5, Qt::DashLine));
        painter.drawLine(QPointF(x, layout.plot.top()), QPointF(x, layout.plot.bottom()));
        if (record.stepSeconds) {
            const OffsetUnit stepUnit = OffsetUnitFor(*record.stepSeconds);
            const QString text = QStringLiteral("step ") + Q(FormatOffset(*record.stepSeconds, stepUnit, 1));
            const double width = metrics.horizontalAdvance(text) + 4;
            // Beside the line, on the side with room.
            const bool leftSide = x + width > layout.plot.right();
            painter.setPen(palette.step);
            painter.drawText(QRectF(leftSide ? x - width - 2 : x + 4, layout.plot.top() + 2, width, metrics.height()),
                             leftSide ? Qt::AlignRight : Qt::AlignLeft, text);
        }
    }

    // The drift line over the checks it was fitted to.
    if (input.drift && input.drift->lastUnixMs > input.drift->firstUnixMs) {
        const history::DriftEstimate& drift = *input.drift;
        painter.setPen(QPen(palette.drift, 2.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(layout.map.x(double(drift.firstUnixMs)), layout.map.y(drift.offsetAt(drift.firstUnixMs))),
                         QPointF(layout.map.x(double(drift.lastUnixMs)), layout.map.y(drift.offsetAt(drift.lastUnixMs))));
    }

    PaintChecks(painter, layout, input.records, palette);

    // Failed checks: a cross on the bottom edge at their time.
    painter.setPen(QPen(palette.failure, 1.8));
    const double failureY = layout.plot.bottom() - 8;
    QVector<QLineF> crosses;
    for (const history::CheckRecord& record : input.records) {
        if (record.completed)
            continue;
        const double x = std::round(layout.map.x(double(record.timeUnixMs)));
        if (!crosses.isEmpty() && crosses.back().x1() == x - 3.5)
            continue;   // one cross per pixel column
        crosses.push_back({QPointF(x - 3.5, failureY - 3.5), QPointF(x + 3.5, failureY + 3.5)});
        crosses.push_back({QPointF(x - 3.5, failureY + 3.5), QPointF(x + 3.5, failureY - 3.5)});
    }
    painter.drawLines(crosses);
    painter.restore();

    painter.setPen(QPen(palette.text, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.drawRect(layout.plot);
    painter.restore();
}

} // namespace plot
