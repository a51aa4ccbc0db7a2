#include "ui/moon_form.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(MoonForm, HiddenAtCreationWithItsDesign)
{
    TMoonForm form;
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.windowTitle(), "New and Full Moons");
    EXPECT_EQ(form.size(), QSize(184, 293));
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(0, 0, 128));
    EXPECT_EQ(form.Button1->text(), "&Close");
    EXPECT_EQ(form.Button1->geometry(), QRect(61, 266, 57, 22));
    EXPECT_TRUE(form.Memo1->isHidden());
    EXPECT_TRUE(form.Memo2->isHidden());
    EXPECT_TRUE(form.Memo1->isReadOnly());
    EXPECT_EQ(form.Memo2->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(form.Memo2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST(MoonForm, HasAFixedSizeForEitherList)
{
    TMoonForm form;
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    for (const int outer : {kMoonListOuterHeight, kMeteorListOuterHeight}) {
        form.SetOuterHeight(outer);
        EXPECT_EQ(form.minimumSize(), QSize(kMoonFormWidth, outer - kMoonFormFrameHeight));
        EXPECT_EQ(form.maximumSize(), form.minimumSize());
    }
}

TEST(MoonForm, CloseHidesTheDialog)
{
    TMoonForm form;
    form.show();
    form.Button1->click();
    EXPECT_FALSE(form.isVisible());
}

} // namespace
} // namespace ui
