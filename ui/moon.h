#pragma once
// The moon picture: a stored image of the full moon over which the unlit part
// of the disc is painted black, row by row, for a given moment.

#include "astro/calendar.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>

namespace platform {
class SystemClock;
}

namespace ui {

enum TMoonSize { ms64, ms32 };

// One size's image and where the disc lies in it, in pixels.
struct TMoonGeometry {
    const char* resource;   // the image's resource name
    int width, height;
    int cx, cy, R;          // disc centre and radius
};

const TMoonGeometry& MoonGeometry(TMoonSize size);

// Blackens the unlit part of the disc: waxing (below 180 degrees) from the
// left limb, waning from the right. phaseDegrees is in [0, 360).
void ShadeMoonPhase(QImage& picture, const TMoonGeometry& geometry, long double phaseDegrees);

// Gives the image stored under a resource name ("MOON_LARGE").
using TMoonImageLoader = std::function<QImage(const QString& resourceName)>;

// The program's own resources (":/MOON_LARGE"); raises Exception when missing.
QImage LoadMoonResource(const QString& resourceName);

class TMoon : public QWidget {
public:
    // Shows the moon for the clock's local date and time, at 64 pixels. With
    // no clock the system's; with no loader the program's resources.
    explicit TMoon(QWidget* owner = nullptr, const platform::SystemClock* clock = nullptr,
                   TMoonImageLoader loader = {});

    TMoonSize MoonSize() const { return moonSize_; }
    void SetMoonSize(TMoonSize size);
    // The moment shown, in UTC (the constructor's first value is local).
    astro::DateTimeValue Date() const { return date_; }
    void SetDate(astro::DateTimeValue value);
    bool DateStored() const { return dateStored_; }
    // The phase angle of Date, [0, 360): 0 full, 90 first quarter, 180 new.
    long double PhaseDegrees() const { return phaseDegrees_; }
    // The shaded picture; read only.
    const QImage& Picture() const { return picture_; }

    // Starts again from the clean image of the current size and shades it.
    void ReloadPicture();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShadePhase();

    TMoonImageLoader loader_;
    TMoonSize moonSize_ = ms64;
    astro::DateTimeValue date_ = 0;
    long double phaseDegrees_ = 0;
    bool dateStored_ = false;
    QImage source_;    // the clean image of sourceSize_, true colour
    TMoonSize sourceSize_ = ms64;
    QImage picture_;   // the image as shown
};

} // namespace ui
