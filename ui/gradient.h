#pragma once
// The gradient background: 256 bands between two colours, top to bottom or
// left to right, filling the parent's whole area. Colours may be system
// colours, resolved through the user's colour scheme.

#include "platform/exception.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ui {

// 0x00BBGGRR, or 0x80000000 plus a system-colour index.
using TColor = std::uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clSystemColor = 0x80000000;
inline constexpr TColor clScrollBar = clSystemColor + 0;
inline constexpr TColor clBtnFace = clSystemColor + 15;

enum TGradDirection { gdUpDown, gdLeftRight };

struct TRGB {
    int red, green, blue;
    bool operator==(const TRGB&) const = default;
};

// A digit string that is not one: "'x' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// The user's colour scheme: the text of a named colour ("212 208 200"), or
// empty when the scheme has no such value.
using TColorScheme = std::function<std::string(std::string_view valueName)>;

// The scheme of the running desktop: the application's palette.
std::string PaletteColorText(std::string_view valueName);

// The scheme's value name for a system colour; empty for any other colour.
std::string_view SystemColorValue(TColor color);

// Three blank-separated decimal numbers; missing ones are 0, a channel is at
// most 255. Raises EConvertError on any other character.
TRGB ParseRGB(std::string_view text);

// A colour's channels, a system colour's from the scheme when it has one.
TRGB SplitColor(TColor color, const TColorScheme& scheme);

using TColorTable = std::array<TColor, 256>;   // entry 0 the first band

TColorTable BuildColorTable(TColor colorStart, TColor colorEnd, bool swap, const TColorScheme& scheme);

class TGradient : public QWidget {
public:
    explicit TGradient(QWidget* owner = nullptr, TColorScheme scheme = PaletteColorText);

    TColor ColorStart() const { return colorStart_; }
    void SetColorStart(TColor color);
    TColor ColorEnd() const { return colorEnd_; }
    void SetColorEnd(TColor color);
    TGradDirection Direction() const { return direction_; }
    void SetDirection(TGradDirection direction);
    bool Swap() const { return swap_; }
    void SetSwap(bool swap);

    const TColorTable& ColorTable() const { return ColorTable_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildColorTable();
    void Changed();

    TColorScheme scheme_;
    TColor colorStart_ = clBlack;
    TColor colorEnd_ = clBlue;
    TGradDirection direction_ = gdUpDown;
    bool swap_ = false;
    TColorTable ColorTable_{};
};

} // namespace ui
