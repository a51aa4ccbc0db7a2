#include "ui/controls.h"

#include <QEvent>
#include <QLabel>
#include <QPalette>

#include <utility>

namespace ui {

QFont DesignFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

QLabel* MakePanel(QWidget* parent, const char* name, Bevel bevel, int left, int top, int width, int height)
{
    auto* panel = Place(new QLabel(parent), name, left, top, width, height);
    // A panel keeps its box whatever its caption: fixed, a new caption does
    // not ask the page's layout (and through it the whole notebook) to be laid
    // out and repainted again, once a second for the clock.
    panel->setFixedSize(width, height);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    if (bevel == Bevel::LoweredOuter) {
        panel->setAutoFillBackground(true);
        SetBackgroundColor(panel, parent->palette().color(QPalette::Base));
    }
    return panel;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLabel* MakeFixedLabel(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
                       int height)
{
    auto* label = Place(new QLabel(text, parent), name, left, top, width, height);
    return label;
}

void SetTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

void SetBackgroundColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    palette.setColor(QPalette::Base, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

namespace {

class FirstShowFilter : public QObject {
public:
    FirstShowFilter(QWidget* widget, std::function<void()> finish) : QObject(widget), finish_(std::move(finish))
    {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && finish_) {
            watched->removeEventFilter(this);
            const std::function<void()> finish = std::exchange(finish_, nullptr);
            deleteLater();
            finish();
        }
        return false;
    }

private:
    std::function<void()> finish_;
};

} // namespace

void OnFirstShow(QWidget* widget, std::function<void()> finish)
{
    new FirstShowFilter(widget, std::move(finish));
}

} // namespace ui
