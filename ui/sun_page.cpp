#include "ui/controls.h"
#include "ui/view_form_layout.h"

#include <QGroupBox>
#include <QLabel>

namespace ui {

void TViewFormLayout::buildSunPage(QWidget* page)
{
    GroupBox7 = Place(new QGroupBox(page), "GroupBox7", 8, 8, 219, 73);
    Label17 = MakeLabel(GroupBox7, "Label17", QStringLiteral("Sun's distance:"), 8, 20);
    lblSunDist = MakeLabel(GroupBox7, "lblSunDist", QStringLiteral("lblSunDist"), 88, 20);
    Label26 = MakeLabel(GroupBox7, "Label26", QStringLiteral("Sun subtends:"), 8, 44);
    lblSunSub = MakeLabel(GroupBox7, "lblSunSub", QStringLiteral("lblSunSub"), 88, 44);

    GroupBox6 = Place(new QGroupBox(QStringLiteral(" Daylight Savings "), page), "GroupBox6", 8, 104, 219, 81);
    Label23 = MakeLabel(GroupBox6, "Label23", QStringLiteral("Starts:"), 8, 24);
    lblStandard = MakeLabel(GroupBox6, "lblStandard", QStringLiteral("no daylight savings time!"), 44, 24);
    Label25 = MakeLabel(GroupBox6, "Label25", QStringLiteral("Ends:"), 8, 48);
    lblDaylight = MakeLabel(GroupBox6, "lblDaylight", QStringLiteral("no daylight savings time!"), 44, 48);
}

} // namespace ui
