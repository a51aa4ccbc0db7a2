#include "ui/gradient.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ui {

namespace {

// The scheme's value names by system-colour index, and the palette entry that
// stands for each on this desktop.
struct SystemColorEntry {
    const char* name;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

constexpr SystemColorEntry kSystemColors[] = {
    {nullptr, QPalette::Active, QPalette::NoRole},               // 0 scroll bar: not in the scheme
    {"Background", QPalette::Active, QPalette::Dark},            // 1 the desktop
    {"ActiveTitle", QPalette::Active, QPalette::Highlight},
    {"InactiveTitle", QPalette::Inactive, QPalette::Highlight},
    {"Menu", QPalette::Active, QPalette::Window},
    {"Window", QPalette::Active, QPalette::Base},
    {"WindowFrame", QPalette::Active, QPalette::Shadow},
    {"MenuText", QPalette::Active, QPalette::WindowText},
    {"WindowText", QPalette::Active, QPalette::Text},
    {"TitleText", QPalette::Active, QPalette::HighlightedText},
    {"ActiveBorder", QPalette::Active, QPalette::Window},        // 10
    {"InactiveBorder", QPalette::Inactive, QPalette::Window},
    {"AppWorkspace", QPalette::Active, QPalette::Mid},
    {"Highlight", QPalette::Active, QPalette::Highlight},
    {"HighlightText", QPalette::Active, QPalette::HighlightedText},
    {"ButtonFace", QPalette::Active, QPalette::Button},          // 15
    {"ButtonShadow", QPalette::Active, QPalette::Dark},
    {"GrayText", QPalette::Disabled, QPalette::Text},
    {"ButtonText", QPalette::Active, QPalette::ButtonText},
    {"InactiveTitleText", QPalette::Inactive, QPalette::HighlightedText},
    {"ButtonHilight", QPalette::Active, QPalette::Light},        // 20
    {"ButtonDkShadow", QPalette::Active, QPalette::Shadow},
    {"ButtonLight", QPalette::Active, QPalette::Midlight},
    {"InfoText", QPalette::Active, QPalette::ToolTipText},
    {"InfoWindow", QPalette::Active, QPalette::ToolTipBase},     // 24
};

constexpr int kChannelMax = 255;
constexpr std::int64_t kStepScale = 10000;   // the table's fixed-point steps
constexpr int kBands = 256;

TColor ColorOf(const TRGB& rgb)
{
    return static_cast<TColor>(rgb.red) | static_cast<TColor>(rgb.green) << 8 | static_cast<TColor>(rgb.blue) << 16;
}

TRGB ChannelsOf(TColor color)
{
    return {static_cast<int>(color & 0xFF), static_cast<int>(color >> 8 & 0xFF), static_cast<int>(color >> 16 & 0xFF)};
}

QColor QColorOf(TColor color)
{
    const TRGB rgb = ChannelsOf(color);
    return QColor(rgb.red, rgb.green, rgb.blue);
}

} // namespace

std::string_view SystemColorValue(TColor color)
{
    if ((color & clSystemColor) == 0)
        return {};
    const TColor index = color & ~clSystemColor;
    if (index >= std::size(kSystemColors) || kSystemColors[index].name == nullptr)
        return {};
    return kSystemColors[index].name;
}

std::string PaletteColorText(std::string_view valueName)
{
    for (const SystemColorEntry& entry : kSystemColors) {
        if (entry.name == nullptr || valueName != entry.name)
            continue;
        const QColor color = QGuiApplication::palette().color(entry.group, entry.role);
        return std::to_string(color.red()) + ' ' + std::to_string(color.green()) + ' ' + std::to_string(color.blue());
    }
    return {};
}

TRGB ParseRGB(std::string_view text)
{
    int channels[3] = {0, 0, 0};
    std::size_t number = 0;
    for (const char ch : text) {
        if (number == std::size(channels))
            break;   // whatever follows the third number is not read
        if (ch == ' ') {
            ++number;
            continue;
        }
        if (ch < '0' || ch > '9')
            throw EConvertError("'" + std::string(1, ch) + "' is not a valid integer value");
        // Held at the channel's top: a longer number would overflow, and
        // one above 255 would spill into the next channel of the colour.
        channels[number] = std::min(channels[number] * 10 + (ch - '0'), kChannelMax);
    }
    return {channels[0], channels[1], channels[2]};
}

TRGB SplitColor(TColor color, const TColorScheme& scheme)
{
    const std::string_view name = SystemColorValue(color);
    if (!name.empty() && scheme) {
        const std::string text = scheme(name);
        if (!text.empty())
            return ParseRGB(text);
    }
    return ChannelsOf(color);
}

TColorTable BuildColorTable(TColor colorStart, TColor colorEnd, bool swap, const TColorScheme& scheme)
{
    const TRGB last = SplitColor(colorEnd, scheme);
    const TRGB first = SplitColor(colorStart, scheme);
    const TColor F = ColorOf(swap ? last : first);
    const TColor L = ColorOf(swap ? first : last);
    const TRGB f = ChannelsOf(F), l = ChannelsOf(L);

    // Per channel, in steps of 1/10000: the step to subtract per band.
    const auto step = [](int from, int to) {
        return static_cast<std::int64_t>(std::rint(static_cast<double>(from - to) * kStepScale / kChannelMax));
    };
    const std::int64_t stepR = step(f.red, l.red), stepG = step(f.green, l.green), stepB = step(f.blue, l.blue);
    std::int64_t accR = f.red * kStepScale, accG = f.green * kStepScale, accB = f.blue * kStepScale;

    TColorTable table{};
    table[0] = F;
    for (int i = 1; i < kBands - 1; ++i) {
        accR -= stepR;
        accG -= stepG;
        accB -= stepB;
        table[i] = ColorOf({static_cast<int>(accR / kStepScale), static_cast<int>(accG / kStepScale),
                            static_cast<int>(accB / kStepScale)});
    }
    table[kBands - 1] = L;
    return table;
}

TGradient::TGradient(QWidget* owner, TColorScheme scheme) : QWidget(owner), scheme_(std::move(scheme))
{
    // Fills the parent from the start and follows its size; behind its siblings.
    if (owner) {
        setGeometry(owner->rect());
        owner->installEventFilter(this);
        lower();
    }
    BuildColorTable();
}

void TGradient::SetColorStart(TColor color)
{
    colorStart_ = color;
    Changed();
}

void TGradient::SetColorEnd(TColor color)
{
    colorEnd_ = color;
    Changed();
}

void TGradient::SetDirection(TGradDirection direction)
{
    direction_ = direction;
    Changed();
}

void TGradient::SetSwap(bool swap)
{
    swap_ = swap;
    Changed();
}

void TGradient::BuildColorTable()
{
    ColorTable_ = ui::BuildColorTable(colorStart_, colorEnd_, swap_, scheme_);
}

void TGradient::Changed()
{
    BuildColorTable();
    repaint();
}

bool TGradient::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void TGradient::paintEvent(QPaintEvent*)
{
    const bool across = direction_ == gdLeftRight;
    // The band pitch in single precision, as the bands were always laid out:
    // that decides which band owns a row where the pitch is below one pixel.
    const float s = static_cast<float>((across ? width() : height()) / 255.0);
    const int band = static_cast<int>(s + 1.0);
    QPainter painter(this);
    int p = 0;
    for (int i = 0; i < kBands; ++i) {
        const QRect rect = across ? QRect(p, 0, band, height()) : QRect(0, p, width(), band);
        painter.fillRect(rect, QColorOf(ColorTable_[i]));
        p = static_cast<int>(i * static_cast<double>(s));
    }
}

} // namespace ui
