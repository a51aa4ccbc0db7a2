#include "platform/gui/notify_icon.h"

#include <QGuiApplication>
#include <QMenu>
#include <QSystemTrayIcon>

#include <cstring>

namespace platform {

QtNotificationArea::QtNotificationArea() = default;
QtNotificationArea::~QtNotificationArea() = default;

bool QtNotificationArea::Available() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool QtNotificationArea::Shell_NotifyIconA(std::uint32_t message, const NOTIFYICONDATAA& data)
{
    const Key key{data.hWnd, data.uID};
    const auto found = icons_.find(key);
    const QString tip = QString::fromLocal8Bit(data.szTip, static_cast<qsizetype>(strnlen(data.szTip, sizeof data.szTip)));
    switch (message) {
    case NIM_ADD: {
        if (found != icons_.end())
            return false;
        // Away from X11 only a StatusNotifierItem host can show the icon; without
        // one Qt would fall back to its XEmbed code, which asks the platform for
        // an X11-only signal and warns on stderr, and show nothing anyway.
        if (QGuiApplication::platformName() != QLatin1String("xcb") && !Available())
            return false;
        auto icon = std::make_unique<QSystemTrayIcon>();
        if (data.uFlags & NIF_ICON)
            icon->setIcon(data.hIcon);
        if (data.uFlags & NIF_TIP)
            icon->setToolTip(tip);
        if (data.uFlags & NIF_MESSAGE) {
            const HWND window = data.hWnd;
            const std::uint32_t callback = data.uCallbackMessage;
            const std::uint32_t id = data.uID;
            QObject::connect(icon.get(), &QSystemTrayIcon::activated, icon.get(),
                             [window, callback, id](QSystemTrayIcon::ActivationReason reason) {
                                 unsigned int mouse = 0;
                                 switch (reason) {
                                 case QSystemTrayIcon::Trigger: mouse = WM_LBUTTONUP; break;
                                 case QSystemTrayIcon::DoubleClick: mouse = WM_LBUTTONDBLCLK; break;
                                 case QSystemTrayIcon::Context: mouse = WM_RBUTTONUP; break;
                                 default: return;
                                 }
                                 PostMessage(window, callback, id, static_cast<LPARAM>(mouse));
                             });
        }
        // Qt shows no icon without an image; the first image given shows it.
        if (!icon->icon().isNull())
            icon->show();
        icons_.emplace(key, std::move(icon));
        return Available();
    }
    case NIM_MODIFY:
        if (found == icons_.end())
            return false;
        // The record carries the icon with every tip change; handing Qt the same
        // image again would make a StatusNotifierItem announce a new icon (and
        // write it to a file for some hosts) several times a second during a check.
        if ((data.uFlags & NIF_ICON) && data.hIcon.cacheKey() != found->second->icon().cacheKey())
            found->second->setIcon(data.hIcon);
        if ((data.uFlags & NIF_TIP) && tip != found->second->toolTip())
            found->second->setToolTip(tip);
        if (!found->second->isVisible() && !found->second->icon().isNull())
            found->second->show();
        return true;
    case NIM_DELETE:
        if (found == icons_.end())
            return false;
        found->second->hide();
        icons_.erase(found);
        return true;
    default:
        return false;
    }
}

bool QtNotificationArea::SetMenu(HWND window, std::uint32_t id, QMenu* menu)
{
    const auto found = icons_.find(Key{window, id});
    if (found == icons_.end())
        return false;
    QSystemTrayIcon& icon = *found->second;
    // Qt exports the menu over D-Bus, giving it a platform counterpart, only when
    // the icon is a StatusNotifierItem. An XEmbed icon would instead pop the menu
    // up by itself on the press, before the owner's own popup: take it back there.
    icon.setContextMenu(menu);
    if (menu && menu->platformMenu())
        return true;
    icon.setContextMenu(nullptr);
    return false;
}

} // namespace platform
