// The list buttons of the Moon page: each list is computed on its button's
// first click and only shown again afterwards.
#include "app/view_form.h"

#include "astro/calendar.h"
#include "platform/local_clock.h"
#include "ui/moon_form.h"

#include <QPlainTextEdit>
#include <QPushButton>

void TViewForm::btnNewMoonsClick()
{
    if (!MoonForm)
        return;   // the dialog could not be made at start
    ++NewMoonsClicks;
    MoonForm->hide();
    MoonForm->Memo2->show();
    MoonForm->Memo1->hide();
    MoonForm->SetOuterHeight(ui::kMoonListOuterHeight);
    MoonForm->setWindowTitle(QStringLiteral("New and Full Moons"));
    MoonForm->Button1->move(MoonForm->Button1->x(), ui::kMoonListButtonTop);
    if (NewMoonsClicks < 2)
        MoonForm->NewMoons(localDatePart("yyyy"));
    showMoonForm();
}

void TViewForm::btnMeteorClick()
{
    if (!MoonForm)
        return;   // the dialog could not be made at start
    ++MeteorClicks;
    MoonForm->hide();
    MoonForm->Memo1->show();
    MoonForm->Memo2->hide();
    MoonForm->setWindowTitle(QStringLiteral("Meteor Showers"));
    if (MeteorClicks < 2)
        MoonForm->meteor(localDatePart("yyyy"));
    MoonForm->Button1->move(MoonForm->Button1->x(), ui::kMeteorListButtonTop);
    MoonForm->SetOuterHeight(ui::kMeteorListOuterHeight);
    showMoonForm();
}

// Modeless, in front, with the keyboard focus.
void TViewForm::showMoonForm()
{
    MoonForm->show();
    MoonForm->raise();
    MoonForm->activateWindow();
}

void TViewForm::JtoD(double j, int& month, int& day, int& year) const
{
    astro::JtoD(j, month, day, year);
}
