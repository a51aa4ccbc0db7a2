#include "ui/controls.h"
#include "ui/view_form_layout.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

namespace ui {

void TViewFormLayout::buildStatusPage(QWidget* page)
{
    Shape1 = Place(new QFrame(page), "Shape1", 19, 8, 198, 42);
    SetBackgroundColor(Shape1, kNavy);
    Panel6 = MakePanel(page, "Panel6", Bevel::LoweredOuter, 31, 12, 174, 17);
    QFont bold = Panel6->font();
    bold.setBold(true);
    Panel6->setFont(bold);
    Daytime = MakePanel(page, "Daytime", Bevel::LoweredOuter, 31, 29, 174, 17);
    SetTextColor(Daytime, Qt::black);

    GroupBox3 = Place(new QGroupBox(QStringLiteral("Synchronization"), page), "GroupBox3", 8, 56, 220, 119);
    svrName = MakePanel(GroupBox3, "svrName", Bevel::LoweredInner, 18, 24, 183, 17);
    Label6 = MakeFixedLabel(GroupBox3, "Label6", QStringLiteral("Timestamp:  "), 21, 46, 60, 13);
    svrTime = MakePanel(GroupBox3, "svrTime", Bevel::LoweredInner, 80, 46, 121, 17);
    Label8 = MakeFixedLabel(GroupBox3, "Label8", QStringLiteral("Local PC Time:"), 4, 66, 72, 13);
    lclTime = MakePanel(GroupBox3, "lclTime", Bevel::LoweredInner, 80, 66, 121, 17);
    Label7 = MakeFixedLabel(GroupBox3, "Label7", QStringLiteral("Correction:  "), 24, 88, 57, 13);
    Correction = MakePanel(GroupBox3, "Correction", Bevel::LoweredInner, 80, 87, 121, 17);
    SetTextColor(Correction, Qt::red);
    for (QLabel* label : {Label6, Label8, Label7}) {
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Our font is a little wider than the design's: grow to the left, so
        // the text still ends where the design has it.
        const int wanted = label->sizeHint().width();
        if (wanted > label->width())
            label->setGeometry(std::max(0, label->geometry().right() + 1 - wanted), label->y(), wanted,
                               label->height());
    }

    ProgressBar1 = Place(new QProgressBar(Correction), "ProgressBar1", 1, 1, 118, 14);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setStyleSheet(QStringLiteral("QProgressBar { border: none; background: palette(button); }"
                                               "QProgressBar::chunk { background: #000080; }"));
    ProgressBar1->hide();

    ListBox1 = new QListWidget(page);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setFocusPolicy(Qt::NoFocus);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setFixedHeight(53);
    auto* bottom = new QVBoxLayout(page);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addStretch();
    bottom->addWidget(ListBox1);
}

} // namespace ui
