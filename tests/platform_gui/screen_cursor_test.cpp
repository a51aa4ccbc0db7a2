// The screen cursor over the application's override cursor.
#include "platform/gui/screen_cursor.h"

#include <QGuiApplication>
#include <QPixmap>
#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(QtScreenCursor, CustomCursorOverridesAllWindowsUntilTheDefaultReturns)
{
    QtScreenCursor screen;
    QPixmap image(32, 32);
    image.fill(Qt::white);
    screen.SetCustomCursor(1, QCursor(image, 0, 0));
    screen.SetCursor(1);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->hotSpot(), QPoint(0, 0));
    EXPECT_EQ(screen.Cursor(), 1);
    screen.SetCursor(1);   // again: still one override to undo
    screen.SetCursor(0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(screen.Cursor(), 0);
}

TEST(QtScreenCursor, AnIndexNeverInstalledChangesNothing)
{
    QtScreenCursor screen;
    screen.SetCursor(7);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(screen.Cursor(), 0);
}

TEST(LoadCursorResource, MissingResourceGivesTheArrow)
{
    EXPECT_EQ(LoadCursorResource(QStringLiteral("NO_SUCH_CURSOR")).shape(), Qt::ArrowCursor);
}

} // namespace
} // namespace platform
