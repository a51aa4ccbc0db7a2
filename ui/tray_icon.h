#pragma once
// The notification-area icon: shows an icon and a tool tip, and turns a click,
// a double click and a right click on it into events and a popup menu. It
// talks to the notification area through Shell_NotifyIconA and receives the
// icon's mouse messages in a hidden window of its own.

#include "platform/gui/notify_icon.h"
#include "platform/messages.h"

#include <QIcon>
#include <QObject>

#include <functional>
#include <memory>
#include <string>

class QMenu;

namespace ui {

enum TMouseButton { mbLeft, mbRight, mbMiddle };
struct TShiftState {};   // the shift state of a tray click is always empty

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent = std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;

// Message numbers of the hidden window.
inline constexpr unsigned int WM_TRAYNOTIFY = platform::WM_USER + 1;    // 0x401: the icon's mouse messages
inline constexpr unsigned int WM_TRAYTOOLTIP = platform::WM_USER + 2;   // 0x402: apply the tool tip later
// At most this many bytes of the tool tip are kept, cut where a UTF-8
// character begins so that no character is left half.
inline constexpr std::size_t kToolTipMax = 62;

class TTrayIcon : public QObject {
public:
    TTrayIcon(platform::NotificationArea& area, QObject* owner);
    ~TTrayIcon() override;

    bool Active() const { return active_; }
    void SetActive(bool active);
    const QIcon& Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);
    const std::string& ToolTip() const { return toolTip_; }
    void SetToolTip(const std::string& text);
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* menu);
    // The notification area draws PopupMenu itself (a StatusNotifierItem host).
    bool MenuDrawnByArea() const { return menuDrawnByArea_; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnRightClick;

    platform::HWND NotifyWindow() const { return window_->handle(); }
    // Pops the menu up at the cursor, then raises OnRightClick.
    void ShowPopup();

private:
    void FillNotifyData();
    void AddIcon();
    void ModifyIcon();
    void DeleteIcon();
    void OfferMenu();
    void WndProc(platform::Message& message);

    platform::NotificationArea& area_;
    std::unique_ptr<platform::MessageWindow> window_;
    platform::NOTIFYICONDATAA NotifyData;
    bool active_ = false;
    QIcon icon_;
    std::string toolTip_;
    QMenu* popupMenu_ = nullptr;
    bool menuDrawnByArea_ = false;
};

} // namespace ui
