// The picture rendered offscreen: the marks are there in their colours, at
// 100% and 200% and in a dark palette. Set TIKORA_PLOT_OUT to a folder to
// keep the PNGs and look at them.
#include "plot/history_plot.h"
#include "plot/sample_history.h"

#include <QDir>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using plot::PlotPalette;

QImage Render(const plot::PlotInput& input, const PlotPalette& palette, double ratio, QSize size = {720, 360})
{
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSizeF(9);
    plot::PaintHistoryPlot(painter, QRectF(QPointF(0, 0), QSizeF(size)), input, palette, font);
    painter.end();
    return image;
}

// Pixels near `colour` (antialiasing blends the edges).
int CountNear(const QImage& image, const QColor& colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green()) +
                    std::abs(pixel.blue() - colour.blue()) < 30)
                ++count;
        }
    return count;
}

void Keep(const QImage& image, const char* name)
{
    const QString folder = qEnvironmentVariable("TIKORA_PLOT_OUT");
    if (!folder.isEmpty())
        image.save(QDir(folder).filePath(QString::fromLatin1(name)));
}

struct RenderCase {
    const char* file;
    bool dark;
    double ratio;
};

class PlotRender : public ::testing::TestWithParam<RenderCase> {};

TEST_P(PlotRender, EveryKindOfMarkIsPaintedInItsColour)
{
    const RenderCase& c = GetParam();
    const PlotPalette palette = c.dark ? PlotPalette::Dark() : PlotPalette::Light();
    plot::PlotInput input{testing_support::SampleHistory(), testing_support::SampleDrift(), 0};
    const QImage image = Render(input, palette, c.ratio);
    Keep(image, c.file);
    ASSERT_EQ(image.width(), int(720 * c.ratio));
    const int area = image.width() * image.height();
    const double scale = c.ratio * c.ratio;
    EXPECT_GT(CountNear(image, palette.background), area / 3) << "mostly background";
    EXPECT_GT(CountNear(image, palette.point), 20 * scale) << "the checks' points";
    EXPECT_GT(CountNear(image, palette.drift), 200 * scale) << "the drift line";
    EXPECT_GT(CountNear(image, palette.step), 40 * scale) << "the step's line";
    EXPECT_GT(CountNear(image, palette.failure), 15 * scale) << "the failures' crosses";
    EXPECT_GT(CountNear(image, palette.gap), 1000 * scale) << "the gap's band";
}

INSTANTIATE_TEST_SUITE_P(Scales, PlotRender,
                         ::testing::Values(RenderCase{"plot-100.png", false, 1.0}, RenderCase{"plot-200.png", false, 2.0},
                                           RenderCase{"plot-dark-100.png", true, 1.0},
                                           RenderCase{"plot-dark-200.png", true, 2.0}));

TEST(PlotRenderEdges, EmptyOneAndTinyHistoriesPaintWithoutMarks)
{
    const PlotPalette palette = PlotPalette::Light();
    plot::PlotInput empty{{}, std::nullopt, testing_support::kSampleStartMs};
    const QImage none = Render(empty, palette, 1.0);
    Keep(none, "plot-empty.png");
    std::vector<history::CheckRecord> one = testing_support::SampleHistory();
    one.resize(1);
    const QImage single = Render({one, std::nullopt, 0}, palette, 1.0);
    Keep(single, "plot-one.png");
    // The legend's own mark is in both; the check's point only in one.
    EXPECT_GT(CountNear(single, palette.point), CountNear(none, palette.point) + 4);
    // Too small to hold anything still paints without a fault.
    Render({testing_support::SampleHistory(), testing_support::SampleDrift(), 0}, palette, 1.0, {12, 8});
}

} // namespace
