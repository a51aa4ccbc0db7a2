#include "cli/history_plot.h"

#include "cli/picture_request.h"
#include "platform/file_system.h"
#include "platform/safe_file.h"
#include "plot/history_plot.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

namespace cli {

namespace {

// The window's plot at its usual size, in logical pixels.
constexpr int kPictureWidth = 900;
constexpr int kPictureHeight = 450;

QFont PictureFont()
{
    QFont font = QGuiApplication::font();
    font.setPointSizeF(9);
    return font;
}

QByteArray PngBytes(const plot::PlotInput& input)
{
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    plot::PaintHistoryPlot(painter, QRectF(0, 0, kPictureWidth, kPictureHeight), input, plot::PlotPalette::Light(),
                           PictureFont());
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray SvgBytes(const plot::PlotInput& input)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(kPictureWidth, kPictureHeight));
    svg.setViewBox(QRect(0, 0, kPictureWidth, kPictureHeight));
    svg.setTitle(QStringLiteral("Tikora: the clock over time"));
    QPainter painter(&svg);
    plot::PaintHistoryPlot(painter, QRectF(0, 0, kPictureWidth, kPictureHeight), input, plot::PlotPalette::Light(),
                           PictureFont());
    painter.end();
    return bytes;
}

} // namespace

void UseOffscreenPlatform()
{
    // A terminal program draws into memory only; it must not need a display.
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
}

int WriteHistoryPicture(const QString& path, const plot::PlotInput& input, std::ostream& err)
{
    const std::optional<PictureFormat> format = PictureFormatOf(path);
    if (!format) {
        err << "tikora-cli: --plot " << path.toStdString()
            << ": the picture's name must end in .svg or .png\n";
        return 2;
    }
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        err << "tikora-cli: --plot needs the program started for painting\n";
        return 1;
    }
    const QByteArray bytes = *format == PictureFormat::Png ? PngBytes(input) : SvgBytes(input);
    if (bytes.isEmpty()) {
        err << "tikora-cli: could not draw the picture for " << path.toStdString() << "\n";
        return 1;
    }
    // Whole or not at all: a failed write leaves any old file as it was.
    const std::string failure = platform::ReplaceFile(platform::PosixFileSystem(), path.toStdString(),
                                                      bytes.toStdString(), 0644);
    if (!failure.empty()) {
        err << "tikora-cli: could not write " << path.toStdString() << ": " << failure << "\n";
        return 1;
    }
    return 0;
}

} // namespace cli
