// The once-a-second tick of the almanac pages.
#include "app/view_form.h"

#include "platform/local_clock.h"

#include <QLabel>

void TViewForm::Timer1Timer()
{
    Panel6->setText(platform::FormatDateTime(QStringLiteral("h:nn:ss AM/PM  m/d/yy"), services_.clock.LocalNow(),
                                             services_.format));
}

// The moon's ecliptic position, computed once at start for the Moon page.
void TViewForm::getmoon() {}
