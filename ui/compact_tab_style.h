#pragma once
// Tab padding small enough for five tabs in a 244-pixel notebook, and a check
// box's text close to its box as in the design; everything else is the
// application's style.

#include <QProxyStyle>

namespace ui {

class CompactTabStyle : public QProxyStyle {
public:
    CompactTabStyle();
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};

} // namespace ui
