// The gradient background: its colour table, the colour-scheme texts and the
// bands as painted.
#include "ui/gradient.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <gtest/gtest.h>

#include <map>

namespace ui {
namespace {

// A colour scheme that holds exactly the given texts.
TColorScheme Scheme(std::map<std::string, std::string> values)
{
    return [values = std::move(values)](std::string_view name) {
        const auto found = values.find(std::string(name));
        return found == values.end() ? std::string() : found->second;
    };
}

TColor Rgb(int red, int green, int blue)
{
    return static_cast<TColor>(red | green << 8 | blue << 16);
}

TEST(GradientTable, DefaultsRunFromBlackToBlueAndSwapTurnsThemRound)
{
    TGradient gradient;
    EXPECT_EQ(gradient.ColorTable()[0], 0x000000u);
    EXPECT_EQ(gradient.ColorTable()[255], 0xFF0000u);
    gradient.SetSwap(true);
    EXPECT_EQ(gradient.ColorTable()[0], 0xFF0000u);
    EXPECT_EQ(gradient.ColorTable()[255], 0x000000u);
    EXPECT_EQ(gradient.ColorTable()[1], Rgb(0, 0, 254));
}

TEST(GradientTable, NavyToGreen)
{
    const TColorTable table = BuildColorTable(clNavy, clGreen, false, {});
    EXPECT_EQ(table[0], 0x800000u);
    EXPECT_EQ(table[1], Rgb(0, 0, 127));    // blue 128 - 0.502, cut
    EXPECT_EQ(table[254], Rgb(0, 127, 0));  // green 254 x 0.502 = 127.5, cut
    EXPECT_EQ(table[255], 0x008000u);
}

TEST(GradientTable, RedFrom255To0StepsOneAtATime)
{
    const TColorTable table = BuildColorTable(Rgb(255, 0, 0), clBlack, false, {});
    EXPECT_EQ(table[0], Rgb(255, 0, 0));
    for (int i = 1; i <= 254; ++i)
        ASSERT_EQ(table[i], Rgb(255 - i, 0, 0)) << "entry " << i;
    EXPECT_EQ(table[255], 0u);
}

TEST(GradientColors, SystemColoursComeFromTheScheme)
{
    const TColorScheme scheme = Scheme({{"ButtonFace", "212 208 200"}, {"InfoWindow", "255 255 225"}});
    EXPECT_EQ(SplitColor(clBtnFace, scheme), (TRGB{212, 208, 200}));
    EXPECT_EQ(SplitColor(clSystemColor + 24, scheme), (TRGB{255, 255, 225}));
    // Scroll bar is not a scheme value, and an absent value is no error:
    // both take the colour's own bytes.
    EXPECT_EQ(SplitColor(clScrollBar, Scheme({{"Scrollbar", "9 9 9"}})), (TRGB{0, 0, 0}));
    EXPECT_EQ(SplitColor(clSystemColor + 13, scheme), (TRGB{13, 0, 0}));
    EXPECT_EQ(SplitColor(clSystemColor + 25, scheme), (TRGB{25, 0, 0}));
    EXPECT_EQ(SplitColor(Rgb(1, 2, 3), scheme), (TRGB{1, 2, 3}));
    EXPECT_EQ(SystemColorValue(clSystemColor + 1), "Background");
    EXPECT_EQ(SystemColorValue(clSystemColor + 19), "InactiveTitleText");
}

TEST(GradientColors, ParseRGBReadsBlankSeparatedNumbers)
{
    EXPECT_EQ(ParseRGB("212 208 200"), (TRGB{212, 208, 200}));
    EXPECT_EQ(ParseRGB("192  192 192"), (TRGB{192, 0, 192}));
    EXPECT_EQ(ParseRGB("1 2 3 junk"), (TRGB{1, 2, 3}));
    EXPECT_EQ(ParseRGB("7"), (TRGB{7, 0, 0}));
    EXPECT_EQ(ParseRGB(""), (TRGB{0, 0, 0}));
    // Held at 255: no overflow, no spill into the next channel.
    EXPECT_EQ(ParseRGB("300 99999999999999999999 0"), (TRGB{255, 255, 0}));
}

TEST(GradientColors, ABadCharacterRaisesFromParseAndFromTheSetter)
{
    try {
        ParseRGB("12 3x 4");
        FAIL() << "no error";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'x' is not a valid integer value");
    }
    EXPECT_THROW(ParseRGB("1\t2 3"), EConvertError);
    EXPECT_THROW(ParseRGB("-1 2 3"), EConvertError);

    TGradient gradient(nullptr, Scheme({{"ButtonFace", "212,208,200"}}));
    EXPECT_THROW(gradient.SetColorStart(clBtnFace), EConvertError);
}

TEST(GradientColors, TheDesktopPaletteStandsForTheScheme)
{
    const QPalette saved = QApplication::palette();
    QPalette palette = saved;
    palette.setColor(QPalette::Button, QColor(212, 208, 200));
    QApplication::setPalette(palette);
    EXPECT_EQ(PaletteColorText("ButtonFace"), "212 208 200");
    EXPECT_EQ(PaletteColorText("NoSuchColour"), "");
    TGradient gradient;
    gradient.SetColorStart(clBtnFace);
    EXPECT_EQ(gradient.ColorTable()[0], 0xC8D0D4u);
    QApplication::setPalette(saved);
}

QImage Painted(TGradient& gradient)
{
    QImage image(gradient.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);   // not a colour of the gradients below
    gradient.render(&image);
    return image;
}

// Every pixel of a row (or column) is the table entry given.
void ExpectLine(const QImage& image, bool column, int at, TColor want)
{
    const int length = column ? image.height() : image.width();
    for (int k = 0; k < length; ++k) {
        const QRgb pixel = column ? image.pixel(at, k) : image.pixel(k, at);
        ASSERT_EQ(Rgb(qRed(pixel), qGreen(pixel), qBlue(pixel)), want) << (column ? "column " : "row ") << at;
    }
}

TEST(GradientBands, AboutPageAreaTopToBottom)
{
    QWidget page;
    page.resize(236, 237);
    TGradient gradient(&page);
    gradient.SetColorStart(clNavy);
    gradient.SetColorEnd(clGreen);
    ASSERT_EQ(gradient.geometry(), page.rect());
    const QImage image = Painted(gradient);
    const TColorTable& table = gradient.ColorTable();
    ExpectLine(image, false, 0, table[2]);   // bands 0, 1 and 2 all start at row 0
    ExpectLine(image, false, 1, table[3]);
    ExpectLine(image, false, 236, clGreen);  // band 255 at trunc(254 x 237/255)

    gradient.SetDirection(gdLeftRight);
    const QImage across = Painted(gradient);
    ExpectLine(across, true, 0, table[2]);
    ExpectLine(across, true, 235, clGreen);  // trunc(254 x 236/255) = 235
}

TEST(GradientBands, WideBandsCoverTheWholeAreaAndFollowTheParent)
{
    QWidget page;
    page.resize(100, 600);
    TGradient gradient(&page);
    page.show();
    page.resize(120, 1000);   // bands of 4 rows: trunc(1000/255 + 1)
    ASSERT_EQ(gradient.size(), QSize(120, 1000));
    const QImage image = Painted(gradient);
    const TColorTable& table = gradient.ColorTable();
    for (int row = 0; row < 3; ++row)
        ExpectLine(image, false, row, table[1]);   // band 1 covers band 0
    for (int row = 3; row < 7; ++row)
        ExpectLine(image, false, row, table[2]);   // band 2 from trunc(1 x 3.92)
    for (int row = 996; row < 1000; ++row)
        ExpectLine(image, false, row, clBlue);     // band 255 from trunc(254 x 3.92)
}

} // namespace
} // namespace ui
