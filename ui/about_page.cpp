#include "ui/controls.h"
#include "ui/gradient.h"
#include "ui/view_form_layout.h"

#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace ui {

void TViewFormLayout::buildAboutPage(QWidget* page)
{
    // Made first and kept lowest, so the titles are drawn over it.
    Gradient1 = new TGradient(page);
    Gradient1->setObjectName(QStringLiteral("Gradient1"));
    Gradient1->SetColorStart(clNavy);
    Gradient1->SetColorEnd(clGreen);

    Label11 = MakeFixedLabel(page, "Label11", QStringLiteral("Tikora"), 16, 16, 177, 55);
    QFont title(QStringLiteral("Liberation Serif"));
    title.setStyleHint(QFont::Serif);
    title.setPixelSize(48);
    Label11->setFont(title);
    Label1 = MakeFixedLabel(page, "Label1", QStringLiteral("v2.0"), 184, 56, 34, 24);
    QFont version = Label1->font();
    version.setPixelSize(19);
    Label1->setFont(version);
    Label2 = MakeFixedLabel(page, "Label2", QStringLiteral("Free software for Linux."), 16, 80, 137, 13);
    Label3 = MakeFixedLabel(page, "Label3",
                            QStringLiteral("Comments and questions are welcome at the address below."), 25, 107,
                            185, 30);
    Label3->setWordWrap(true);
    for (QLabel* label : {Label11, Label1, Label2, Label3}) {
        SetTextColor(label, Qt::white);
        label->setAttribute(Qt::WA_TranslucentBackground);
    }
    Edit1 = Place(new QLineEdit(QStringLiteral("github.com/tikora/tikora"), page), "Edit1", 44, 144, 148, 21);
    SetBackgroundColor(Edit1, kNavy);
    SetTextColor(Edit1, Qt::white);
    // Measuring the version and laying the address out in bold load two more
    // font faces: the page starts hidden, so that waits until it is seen.
    OnFirstShow(page, [this] {
        Label1->resize(std::max(Label1->width(), Label1->sizeHint().width()), Label1->height());
        QFont bold = Edit1->font();
        bold.setBold(true);
        Edit1->setFont(bold);
    });
}

} // namespace ui
