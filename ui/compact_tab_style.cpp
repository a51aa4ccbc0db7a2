#include "ui/compact_tab_style.h"

#include <QApplication>
#include <QStyleFactory>

namespace ui {

CompactTabStyle::CompactTabStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

int CompactTabStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const
{
    switch (metric) {
    case PM_TabBarTabHSpace:
        return 12;
    case PM_TabBarTabVSpace:
        return 6;
    case PM_CheckBoxLabelSpacing:
        return 2;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

} // namespace ui
