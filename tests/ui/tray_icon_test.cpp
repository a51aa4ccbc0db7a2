// The tray icon against the recording notification area.
#include "fakes/gui/fake_notification_area.h"
#include "platform/messages.h"
#include "ui/tray_icon.h"

#include <QCoreApplication>
#include <QMenu>
#include <QPixmap>
#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace ui {
namespace {

using fakes::FakeNotificationArea;

QIcon someIcon()
{
    QPixmap image(16, 16);
    image.fill(Qt::blue);
    return QIcon(image);
}

TEST(TrayIcon, ActiveAddsAndRemovesTheIconOnce)
{
    FakeNotificationArea area;
    {
        TTrayIcon tray(area, nullptr);
        tray.SetToolTip("tip");
        EXPECT_TRUE(area.calls.empty());   // not shown yet: fields only
        tray.SetActive(true);
        tray.SetActive(true);
        ASSERT_EQ(area.calls.size(), 1u);
        EXPECT_EQ(area.calls[0].message, platform::NIM_ADD);
        EXPECT_EQ(area.calls[0].tip, "tip");
        EXPECT_EQ(area.calls[0].flags, 7u);
        EXPECT_EQ(area.calls[0].callbackMessage, 0x401u);
        EXPECT_EQ(area.calls[0].window, tray.NotifyWindow());
        tray.SetActive(false);
        EXPECT_EQ(area.calls.back().message, platform::NIM_DELETE);
        tray.SetActive(true);
    }
    EXPECT_EQ(area.calls.back().message, platform::NIM_DELETE);   // freed while shown
    EXPECT_FALSE(area.shown);
}

TEST(TrayIcon, ToolTipIsCutAt62Characters)
{
    FakeNotificationArea area;
    TTrayIcon tray(area, nullptr);
    tray.SetActive(true);
    const std::string seventy(70, 'x');
    tray.SetToolTip(seventy);
    EXPECT_EQ(tray.ToolTip(), std::string(62, 'x'));
    EXPECT_EQ(area.lastTip(), std::string(62, 'x'));
    tray.SetToolTip(std::string(62, 'y'));
    EXPECT_EQ(area.lastTip(), std::string(62, 'y'));
    EXPECT_EQ(area.calls.back().message, platform::NIM_MODIFY);
}

TEST(TrayIcon, ToolTipIsCutBetweenCharactersNotInsideOne)
{
    FakeNotificationArea area;
    TTrayIcon tray(area, nullptr);
    tray.SetActive(true);
    const std::string ae = "\xC3\xA4", euro = "\xE2\x82\xAC", note = "\xF0\x9D\x84\x9E";
    const std::pair<std::string, std::string> cases[] = {
        {std::string(61, 'x') + ae + "y", std::string(61, 'x')},          // 2 bytes across 62
        {std::string(60, 'x') + ae + "y", std::string(60, 'x') + ae},     // ends exactly at 62
        {std::string(60, 'x') + euro, std::string(60, 'x')},              // 3 bytes across 62
        {std::string(59, 'x') + note, std::string(59, 'x')},              // 4 bytes across 62
        {std::string(20, 'x') + ae + ae, std::string(20, 'x') + ae + ae}, // short: kept whole
    };
    for (const auto& [tip, kept] : cases) {
        tray.SetToolTip(tip);
        EXPECT_EQ(tray.ToolTip(), kept);
        EXPECT_EQ(area.lastTip(), kept);
    }
}

TEST(TrayIcon, AnIconAddedWithoutTipGetsItByMessage)
{
    FakeNotificationArea area;
    TTrayIcon tray(area, nullptr);
    tray.SetActive(true);          // as a stored form: Active before Icon and ToolTip
    tray.SetIcon(someIcon());
    tray.SetToolTip("Tikora 2.0");
    ASSERT_EQ(area.calls.size(), 3u);
    EXPECT_EQ(area.calls[0].tip, "");
    QCoreApplication::processEvents();
    ASSERT_EQ(area.calls.size(), 4u);
    EXPECT_EQ(area.calls[3].message, platform::NIM_MODIFY);
    EXPECT_EQ(area.calls[3].tip, "Tikora 2.0");
    EXPECT_TRUE(area.calls[3].hasIcon);

    // With a tip already there, nothing is posted.
    TTrayIcon second(area, nullptr);
    second.SetToolTip("ready");
    second.SetActive(true);
    const std::size_t after = area.calls.size();
    QCoreApplication::processEvents();
    EXPECT_EQ(area.calls.size(), after);
}

TEST(TrayIcon, MouseMessagesRaiseTheEvents)
{
    FakeNotificationArea area;
    TTrayIcon tray(area, nullptr);
    tray.SetActive(true);
    std::string events;
    tray.OnClick = [&](QObject* sender) { events += sender == &tray ? "click " : "? "; };
    tray.OnDblClick = [&](QObject*) { events += "double "; };
    tray.OnRightClick = [&](QObject*, TMouseButton button, TShiftState, int, int) {
        events += button == mbRight ? "right " : "? ";
    };
    // What the platform sends for a double click: up, double, up.
    for (unsigned int mouse : {platform::WM_LBUTTONUP, platform::WM_LBUTTONDBLCLK, platform::WM_LBUTTONUP, 0x201u,
                               platform::WM_RBUTTONUP})
        platform::SendMessage(tray.NotifyWindow(), WM_TRAYNOTIFY, 0, static_cast<platform::LPARAM>(mouse));
    EXPECT_EQ(events, "click double click right ");
}

TEST(TrayIcon, RightClickPopsTheMenuUp)
{
    FakeNotificationArea area;
    TTrayIcon tray(area, nullptr);
    QMenu menu;
    menu.addAction("&Connect...");
    tray.SetPopupMenu(&menu);
    bool right = false;
    tray.OnRightClick = [&](QObject*, TMouseButton, TShiftState, int, int) { right = menu.isVisible(); };
    platform::SendMessage(tray.NotifyWindow(), WM_TRAYNOTIFY, 0, platform::WM_RBUTTONUP);
    EXPECT_TRUE(right);   // raised after the menu is up
    menu.hide();
}

// A StatusNotifierItem host draws the exported menu itself; an XEmbed tray
// leaves the popup to the icon, as above.
TEST(TrayIcon, TheMenuGoesToAnAreaThatDrawsIt)
{
    for (const bool drawsMenu : {true, false}) {
        SCOPED_TRACE(drawsMenu ? "StatusNotifierItem" : "XEmbed");
        FakeNotificationArea area;
        area.drawsMenu = drawsMenu;
        TTrayIcon tray(area, nullptr);
        QMenu menu;
        menu.addAction("E&xit");
        tray.SetPopupMenu(&menu);
        EXPECT_EQ(area.menuOffers, 0);   // no icon yet
        tray.SetActive(true);
        EXPECT_EQ(area.menu, &menu);
        EXPECT_EQ(tray.MenuDrawnByArea(), drawsMenu);
        int rightClicks = 0;
        tray.OnRightClick = [&](QObject*, TMouseButton, TShiftState, int, int) { ++rightClicks; };
        platform::SendMessage(tray.NotifyWindow(), WM_TRAYNOTIFY, 0, platform::WM_RBUTTONUP);
        EXPECT_EQ(menu.isVisible(), !drawsMenu);
        EXPECT_EQ(rightClicks, 1);
        menu.hide();

        // Shown again after a removal: offered again.
        tray.SetActive(false);
        EXPECT_FALSE(tray.MenuDrawnByArea());
        tray.SetActive(true);
        EXPECT_EQ(area.menuOffers, 2);
        tray.SetPopupMenu(nullptr);
        EXPECT_EQ(area.menu, nullptr);
        EXPECT_FALSE(tray.MenuDrawnByArea());
    }
}

} // namespace
} // namespace ui
