// The almanac pages: the once-a-second tick and the start-up ecliptic position.
#include "app/view_form.h"

#include "astro/almanac_texts.h"
#include "platform/local_clock.h"
#include "platform/timezone.h"
#include "ui/moon.h"

#include <QLabel>

namespace {

constexpr double kDaysPerMinute = 1.0 / 1440;

astro::TextSeparators SeparatorsOf(const platform::FormatSettings& format)
{
    return {format.TimeSeparator.toStdString(), format.DateSeparator.toStdString()};
}

void SetCaption(QLabel* label, const std::string& text)
{
    label->setText(QString::fromStdString(text));
    label->adjustSize();
}

} // namespace

QString TViewForm::FormatUtc(double moment) const
{
    return QString::fromStdString(astro::FormatUtc(moment, SeparatorsOf(services_.format)));
}

void TViewForm::Timer1Timer()
{
    Panel6->setText(platform::FormatDateTime(QStringLiteral("h:nn:ss AM/PM  m/d/yy"), services_.clock.LocalNow(),
                                             services_.format));

    // The daylight state of this tick, not of the start: a program left running
    // across a change would otherwise be an hour off until restarted.
    platform::TIME_ZONE_INFORMATION zone;
    const std::uint32_t state = services_.zone.GetTimeZoneInformation(zone);
    const double local = services_.clock.LocalNow();
    const double utc = local + platform::BiasInForce(zone, state) * kDaysPerMinute;

    Moon->SetDate(utc);
    const astro::AlmanacTexts texts = astro::AlmanacTextsAt(utc, SeparatorsOf(services_.format));
    SetCaption(lblNewMoon, texts.lblNewMoon);
    SetCaption(lblFQ, texts.lblFQ);
    SetCaption(lblFullMoon, texts.lblFullMoon);
    SetCaption(lblLQ, texts.lblLQ);
    SetCaption(lblNNM, texts.lblNNM);
    SetCaption(lblDist, texts.lblDist);
    SetCaption(lblSunDist, texts.lblSunDist);
    SetCaption(lblAge, texts.lblAge);
    SetCaption(lblPhase, texts.lblPhase);
    SetCaption(lblMoonSub, texts.lblMoonSub);
    SetCaption(lblSunSub, texts.lblSunSub);
}

int TViewForm::localDatePart(const char* pattern) const
{
    return platform::FormatDateTime(QString::fromLatin1(pattern), services_.clock.LocalNow(), services_.format).toInt();
}

// The moon's coarse ecliptic position for the start-up date; not refreshed.
void TViewForm::getmoon()
{
    const astro::EclipticTexts ecliptic =
        astro::EclipticTextsForDate(localDatePart("yyyy"), localDatePart("m"), localDatePart("d"));
    SetCaption(lblEclLat, ecliptic.lblEclLat);
    SetCaption(lblEclLong, ecliptic.lblEclLong);
}
