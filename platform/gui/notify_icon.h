#pragma once
// Shell_NotifyIconA over QSystemTrayIcon: one icon per (window, id) in the
// desktop's notification area. A left click, a double click and a right click
// on the icon come back as the record's callback message posted to its window,
// carrying WM_LBUTTONUP, WM_LBUTTONDBLCLK or WM_RBUTTONUP as the long parameter.
//
// Two kinds of notification area exist on Linux desktops. An XEmbed tray (X11
// window managers) docks a small window and passes its clicks on; the owner
// pops its menu up. A StatusNotifierItem host (KDE Plasma, GNOME with the
// AppIndicator extension, often on Wayland) talks D-Bus: it draws the menu the
// item exports (com.canonical.dbusmenu) itself and sends Activate for a click.

#include "platform/messages.h"

#include <QIcon>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>

class QMenu;
class QSystemTrayIcon;

namespace platform {

inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;

inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;

inline constexpr unsigned int WM_USER = 0x400;
inline constexpr unsigned int WM_LBUTTONUP = 0x202;
inline constexpr unsigned int WM_LBUTTONDBLCLK = 0x203;
inline constexpr unsigned int WM_RBUTTONUP = 0x205;

// The first, 88-byte layout of the record; the icon is a QIcon instead of a handle.
struct NOTIFYICONDATAA {
    std::uint32_t cbSize = 88;
    HWND hWnd = kNoWindow;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[64] = {};
};

// The notification-area seam: the desktop's below, a recording fake in tests.
class NotificationArea {
public:
    virtual ~NotificationArea() = default;
    virtual bool Shell_NotifyIconA(std::uint32_t message, const NOTIFYICONDATAA& data) = 0;
    // False on desktops without a notification area (plain GNOME, say).
    virtual bool Available() const = 0;
    // Offers the icon's menu (null: none) to the notification area. True when
    // the area draws it itself; the owner then pops up nothing on a right click.
    virtual bool SetMenu(HWND window, std::uint32_t id, QMenu* menu) = 0;
};

class QtNotificationArea final : public NotificationArea {
public:
    QtNotificationArea();
    ~QtNotificationArea() override;
    bool Shell_NotifyIconA(std::uint32_t message, const NOTIFYICONDATAA& data) override;
    bool Available() const override;
    bool SetMenu(HWND window, std::uint32_t id, QMenu* menu) override;

private:
    using Key = std::pair<HWND, std::uint32_t>;
    std::map<Key, std::unique_ptr<QSystemTrayIcon>> icons_;
};

} // namespace platform
