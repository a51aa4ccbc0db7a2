#include "ui/moon.h"

#include "astro/angles.h"
#include "astro/lunar_quantities.h"
#include "platform/exception.h"
#include "platform/local_clock.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

// Outside any namespace, as the resource initialiser requires. The images sit
// in a static library, so whoever needs them registers them first.
static void initMoonResources()
{
    Q_INIT_RESOURCE(moon);
}

namespace ui {

namespace {

// The disc sits a little above the centre of each image, as the images were drawn.
constexpr TMoonGeometry kGeometry[] = {
    // resource       width height  cx  cy   R
    {"MOON_LARGE",    64,   64,     31, 28,  28},   // ms64
    {"MOON_SMALL",    32,   32,     15, 14,  14},   // ms32
};

int RoundToInt(long double x)
{
    return static_cast<int>(astro::RoundHalfEven(x));
}

// Columns first..last (either order, both included) of one row.
void DarkSpan(QPainter& painter, int row, int first, int last)
{
    const int left = std::min(first, last);
    const int right = std::max(first, last);
    painter.fillRect(QRect(left, row, right - left + 1, 1), Qt::black);
}

} // namespace

const TMoonGeometry& MoonGeometry(TMoonSize size)
{
    return kGeometry[size == ms32 ? 1 : 0];
}

void ShadeMoonPhase(QImage& picture, const TMoonGeometry& geometry, long double phaseDegrees)
{
    const int cx = geometry.cx, cy = geometry.cy, R = geometry.R;
    const long double c = astro::CosDeg(phaseDegrees);
    const bool waxing = phaseDegrees < 180;
    QPainter painter(&picture);
    for (int y = 0; y <= R; ++y) {
        const long double w = std::sqrt(static_cast<long double>(R * R - y * y));
        const int a = RoundToInt(w);
        const int b = RoundToInt(w * c);
        // Waxing, the unlit part is on the left: from cx - b out to the left
        // limb; waning, from cx + b out to the right limb.
        const int from = waxing ? cx - b : cx + b;
        const int to = waxing ? cx - a : cx + a;
        DarkSpan(painter, cy + y, from, to);
        DarkSpan(painter, cy - y, from, to);
    }
}

QImage LoadMoonResource(const QString& resourceName)
{
    initMoonResources();
    QImage image(QStringLiteral(":/") + resourceName);
    if (image.isNull())
        throw Exception("Resource " + resourceName.toStdString() + " not found");
    return image;
}

TMoon::TMoon(QWidget* owner, const platform::SystemClock* clock, TMoonImageLoader loader)
    : QWidget(owner), loader_(loader ? std::move(loader) : TMoonImageLoader(LoadMoonResource))
{
    const platform::RealSystemClock systemClock;
    SetDate((clock ? *clock : static_cast<const platform::SystemClock&>(systemClock)).LocalNow());
    dateStored_ = false;
    SetMoonSize(ms64);
}

void TMoon::SetMoonSize(TMoonSize size)
{
    moonSize_ = size;
    const TMoonGeometry& geometry = MoonGeometry(size);
    resize(geometry.width, geometry.height);
    ReloadPicture();
}

void TMoon::SetDate(astro::DateTimeValue value)
{
    date_ = value;
    phaseDegrees_ = astro::Normalize360(astro::MoonPhaseAngle(value));
    ReloadPicture();   // shades the clean image once for the new phase
    dateStored_ = true;
}

void TMoon::ReloadPicture()
{
    const TMoonGeometry& geometry = MoonGeometry(moonSize_);
    // The image is decoded once per size, not on every tick.
    if (source_.isNull() || sourceSize_ != moonSize_) {
        const QString name = QString::fromLatin1(geometry.resource);
        const QImage loaded = loader_(name);
        if (loaded.size() != QSize(geometry.width, geometry.height))
            throw Exception("Resource " + name.toStdString() + " is not " + std::to_string(geometry.width) + " x " +
                            std::to_string(geometry.height));
        // The stored image has 16 colours; painting needs a true-colour copy.
        source_ = loaded.convertToFormat(QImage::Format_RGB32);
        sourceSize_ = moonSize_;
    }
    picture_ = source_;
    ShadePhase();
}

void TMoon::ShadePhase()
{
    ShadeMoonPhase(picture_, MoonGeometry(moonSize_), phaseDegrees_);
    update();
}

void TMoon::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
}

} // namespace ui
