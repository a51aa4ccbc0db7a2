#include "ui/controls.h"
#include "ui/moon.h"
#include "ui/view_form_layout.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace ui {

void TViewFormLayout::buildMoonPage(QWidget* page, const platform::SystemClock* clock)
{
    GroupBox4 = Place(new QGroupBox(page), "GroupBox4", 8, 6, 219, 105);
    Moon = Place(new TMoon(GroupBox4, clock), "Moon", 174, 62, 32, 32);
    Moon->SetMoonSize(ms32);
    Label22 = MakeFixedLabel(GroupBox4, "Label22", QStringLiteral("Moon's age:"), 10, 12, 59, 13);
    lblAge = MakeLabel(GroupBox4, "lblAge", QStringLiteral("lblAge"), 96, 12);
    Label16 = MakeLabel(GroupBox4, "Label16", QStringLiteral("Moon's phase:"), 10, 26);
    lblPhase = MakeLabel(GroupBox4, "lblPhase", QStringLiteral("lblPhase"), 96, 26);
    Label18 = MakeFixedLabel(GroupBox4, "Label18", QStringLiteral("Moon's distance:"), 10, 40, 82, 13);
    lblDist = MakeLabel(GroupBox4, "lblDist", QStringLiteral("lblDist"), 96, 40);
    Label19 = MakeLabel(GroupBox4, "Label19", QStringLiteral("Ecliptic latitude:"), 10, 54);
    lblEclLat = MakeLabel(GroupBox4, "lblEclLat", QStringLiteral("lblEclLat"), 96, 54);
    Label20 = MakeLabel(GroupBox4, "Label20", QStringLiteral("Ecliptic longitude:"), 10, 68);
    lblEclLong = MakeLabel(GroupBox4, "lblEclLong", QStringLiteral("lblEclLong"), 96, 68);
    Label27 = MakeLabel(GroupBox4, "Label27", QStringLiteral("Moon subtends:"), 10, 82);
    lblMoonSub = MakeLabel(GroupBox4, "lblMoonSub", QStringLiteral("lblMoonSub"), 96, 82);
    for (QLabel* label : {Label22, Label16, Label18, Label19})
        SetTextColor(label, Qt::black);

    GroupBox5 = Place(new QGroupBox(page), "GroupBox5", 8, 112, 219, 97);
    lbl_lastnew = MakeLabel(GroupBox5, "lbl_lastnew", QStringLiteral("Last new moon:"), 8, 12);
    lbl_firstquart = MakeLabel(GroupBox5, "lbl_firstquart", QStringLiteral("First quarter:"), 8, 28);
    lbl_full = MakeLabel(GroupBox5, "lbl_full", QStringLiteral("Full moon:"), 8, 44);
    lbl_lastquart = MakeLabel(GroupBox5, "lbl_lastquart", QStringLiteral("Last quarter:"), 8, 60);
    lbl_nextnew = MakeLabel(GroupBox5, "lbl_nextnew", QStringLiteral("Next new moon:"), 8, 76);
    lblNewMoon = MakeLabel(GroupBox5, "lblNewMoon", QString(), 88, 12);
    lblFQ = MakeLabel(GroupBox5, "lblFQ", QString(), 88, 28);
    lblFullMoon = MakeLabel(GroupBox5, "lblFullMoon", QString(), 88, 44);
    lblLQ = MakeLabel(GroupBox5, "lblLQ", QString(), 88, 60);
    lblNNM = MakeLabel(GroupBox5, "lblNNM", QString(), 88, 76);

    btnNewMoons = Place(new QPushButton(QStringLiteral("Future moons.."), page), "btnNewMoons", 8, 214, 91, 17);
    btnMeteor = Place(new QPushButton(QStringLiteral("Meteor showers.."), page), "btnMeteor", 134, 214, 91, 17);
    for (QPushButton* button : {btnNewMoons, btnMeteor})
        button->setAutoDefault(false);
}

} // namespace ui
