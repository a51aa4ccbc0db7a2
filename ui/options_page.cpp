#include "ui/compact_tab_style.h"
#include "ui/controls.h"
#include "ui/spin_button.h"
#include "ui/view_form_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

namespace ui {

void TViewFormLayout::buildOptionsPage(QWidget* page)
{
    GroupBox1 = Place(new QGroupBox(QStringLiteral("Program Settings"), page), "GroupBox1", 9, 5, 218, 126);
    chkStartMin = Place(new QCheckBox(QStringLiteral("Start &Minimized"), GroupBox1), "chkStartMin", 24, 20, 105, 17);
    chkAutoConnect = Place(new QCheckBox(QStringLiteral("Auto-Connect on &Startup"), GroupBox1), "chkAutoConnect",
                           24, 40, 145, 17);
    chkExit = Place(new QCheckBox(QStringLiteral("Minimi&ze after time-check"), GroupBox1), "chkExit", 24, 60, 161, 17);
    chkRetry = Place(new QCheckBox(QStringLiteral("Retry connection"), GroupBox1), "chkRetry", 24, 80, 99, 17);
    edtRetry = Place(new QLineEdit(QStringLiteral("3"), GroupBox1), "edtRetry", 128, 78, 25, 21);
    edtRetry->setMaxLength(3);
    edtRetry->setEnabled(false);
    Label14 = MakeLabel(GroupBox1, "Label14", QStringLiteral("times"), 155, 81);
    chkAdjust = Place(new QCheckBox(QStringLiteral("&Adjust PC time on time-check"), GroupBox1), "chkAdjust", 24, 100,
                      169, 17);
    chkAdjust->setChecked(true);
    auto* compact = new CompactTabStyle;
    compact->setParent(GroupBox1);
    for (QCheckBox* box : {chkStartMin, chkAutoConnect, chkExit, chkRetry, chkAdjust})
        box->setStyle(compact);
    // Repeating checks, on the title's line as the protocol's box below: the
    // only free space in the box. Item i is "every i hours", item 0 off.
    ComboRepeat = Place(new QComboBox(GroupBox1), "ComboRepeat", 110, 0, 104, 18);
    ComboRepeat->addItem(QStringLiteral("Repeat: off"));
    ComboRepeat->addItem(QStringLiteral("Every hour"));
    for (int hours = 2; hours <= 24; ++hours)
        ComboRepeat->addItem(QStringLiteral("Every %1 hours").arg(hours));
    ComboRepeat->setToolTip(QStringLiteral("Check every N hours"));
    ComboRepeat->setAccessibleName(QStringLiteral("Check every N hours"));

    // Down to the page's bottom edge (91 in the first layout) for the row below Timeout.
    GroupBox2 = Place(new QGroupBox(QStringLiteral("Connection Settings"), page), "GroupBox2", 9, 138, 218, 99);
    Label15 = MakeLabel(GroupBox2, "Label15", QStringLiteral("Time Server:"), 16, 16);
    ComboServer = Place(new QComboBox(GroupBox2), "ComboServer", 16, 30, 185, 21);
    ComboServer->setEditable(true);
    ComboServer->setInsertPolicy(QComboBox::NoInsert);
    SetTextColor(ComboServer, Qt::black);
    Label4 = MakeLabel(GroupBox2, "Label4", QStringLiteral("Timeout:"), 18, 60);
    TOEdit = Place(new QLineEdit(QStringLiteral("10"), GroupBox2), "TOEdit", 62, 58, 51, 21);
    TOEdit->setReadOnly(true);
    TOEdit->setMaxLength(4);
    SpinButton1 = Place(new TSpinButton(GroupBox2), "SpinButton1", 94, 60, 17, 17);
    Label5 = MakeLabel(GroupBox2, "Label5", QStringLiteral("seconds"), 115, 60);
    chkAutostart = Place(new QCheckBox(QStringLiteral("Start with the desktop session"), GroupBox2), "chkAutostart",
                         16, 79, 185, 17);
    chkAutostart->setStyle(compact);
    // On the title's line, right of it: the only free space in the box, and
    // too narrow for a "Protocol:" label beside the box, so the box names
    // itself to tips and screen readers.
    ComboProtocol = Place(new QComboBox(GroupBox2), "ComboProtocol", 110, 0, 104, 18);
    ComboProtocol->addItems({QStringLiteral("Time (RFC 868)"), QStringLiteral("NTP"), QStringLiteral("NTS")});
    ComboProtocol->setToolTip(QStringLiteral("Protocol"));
    ComboProtocol->setAccessibleName(QStringLiteral("Protocol"));
}

} // namespace ui
