#include "ui/spin_button.h"

#include <QResizeEvent>
#include <QToolButton>

namespace ui {

TSpinButton::TSpinButton(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this))
{
    up_->setObjectName(QStringLiteral("UpButton"));
    down_->setObjectName(QStringLiteral("DownButton"));
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {up_, down_}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setIconSize(QSize(5, 3));   // small arrow glyphs
        button->setAutoRepeat(true);
    }
}

void TSpinButton::resizeEvent(QResizeEvent* event)
{
    const QSize size = event->size();
    const int upper = size.height() / 2;
    up_->setGeometry(0, 0, size.width(), upper);
    down_->setGeometry(0, upper, size.width(), size.height() - upper);
}

} // namespace ui
