#pragma once
// Small helpers that build the fixed layouts: controls placed at design
// pixels, bevelled panels, and the design's colours.

#include <QColor>
#include <QFont>
#include <QString>

#include <functional>

class QLabel;
class QWidget;

namespace ui {

inline const QColor kNavy(0, 0, 128);
inline const QColor kGreen(0, 128, 0);

// The window's text font: a sans-serif with Arial's widths at 8 points.
QFont DesignFont();

enum class Bevel { LoweredInner, LoweredOuter };

// A panel: a caption centred in a bevelled box.
QLabel* MakePanel(QWidget* parent, const char* name, Bevel bevel, int left, int top, int width, int height);
// A label sized to its text.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top);
// A label of fixed size.
QLabel* MakeFixedLabel(QWidget* parent, const char* name, const QString& text, int left, int top, int width,
                       int height);

void SetTextColor(QWidget* widget, const QColor& color);
void SetBackgroundColor(QWidget* widget, const QColor& color);
// Runs `finish` once, when `widget` is first shown and before it is painted:
// for what a page that starts hidden needs only when it is seen.
void OnFirstShow(QWidget* widget, std::function<void()> finish);

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

} // namespace ui
