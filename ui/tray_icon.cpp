#include "ui/tray_icon.h"

#include <QCursor>
#include <QMenu>

#include <algorithm>
#include <cstring>

namespace ui {

TTrayIcon::TTrayIcon(platform::NotificationArea& area, QObject* owner)
    : QObject(owner), area_(area),
      window_(std::make_unique<platform::MessageWindow>([this](platform::Message& message) { WndProc(message); }))
{
}

TTrayIcon::~TTrayIcon()
{
    if (active_)
        DeleteIcon();
}

void TTrayIcon::SetActive(bool active)
{
    if (active == active_)
        return;
    active_ = active;
    if (active_)
        AddIcon();
    else
        DeleteIcon();
}

void TTrayIcon::SetIcon(const QIcon& icon)
{
    icon_ = icon;
    ModifyIcon();
}

namespace {

// The longest start of text within max bytes that ends on a character boundary.
std::string CutAtCharacter(const std::string& text, std::size_t max)
{
    if (text.size() <= max)
        return text;
    std::size_t cut = max;
    // A continuation byte (10xxxxxx) belongs to the character before it.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

} // namespace

void TTrayIcon::SetToolTip(const std::string& text)
{
    toolTip_ = CutAtCharacter(text, kToolTipMax);
    ModifyIcon();
}

void TTrayIcon::SetPopupMenu(QMenu* menu)
{
    popupMenu_ = menu;
    if (active_)
        OfferMenu();
}

void TTrayIcon::OfferMenu()
{
    menuDrawnByArea_ = area_.SetMenu(window_->handle(), 0, popupMenu_);
}

void TTrayIcon::FillNotifyData()
{
    NotifyData.cbSize = 88;
    NotifyData.hWnd = window_->handle();
    NotifyData.uID = 0;
    NotifyData.uFlags = platform::NIF_MESSAGE | platform::NIF_ICON | platform::NIF_TIP;
    NotifyData.hIcon = icon_;
    std::memset(NotifyData.szTip, 0, sizeof NotifyData.szTip);
    std::memcpy(NotifyData.szTip, toolTip_.data(), std::min(toolTip_.size(), sizeof NotifyData.szTip - 1));
    NotifyData.uCallbackMessage = WM_TRAYNOTIFY;
}

void TTrayIcon::AddIcon()
{
    FillNotifyData();
    area_.Shell_NotifyIconA(platform::NIM_ADD, NotifyData);
    if (popupMenu_)
        OfferMenu();
    // An icon added before its tip was given gets the tip once the loop runs.
    if (toolTip_.empty())
        platform::PostMessage(window_->handle(), WM_TRAYTOOLTIP, 0, 0);
}

void TTrayIcon::ModifyIcon()
{
    FillNotifyData();
    if (active_)
        area_.Shell_NotifyIconA(platform::NIM_MODIFY, NotifyData);
}

void TTrayIcon::DeleteIcon()
{
    area_.Shell_NotifyIconA(platform::NIM_DELETE, NotifyData);
    menuDrawnByArea_ = false;
}

void TTrayIcon::WndProc(platform::Message& message)
{
    if (message.msg == WM_TRAYTOOLTIP) {
        SetToolTip(toolTip_);
        return;
    }
    if (message.msg != WM_TRAYNOTIFY) {
        message.result = platform::DefWindowProc(window_->handle(), message);
        return;
    }
    switch (static_cast<unsigned int>(message.lParam)) {
    case platform::WM_LBUTTONUP:
        if (OnClick)
            OnClick(this);
        break;
    case platform::WM_LBUTTONDBLCLK:
        if (OnDblClick)
            OnDblClick(this);
        break;
    case platform::WM_RBUTTONUP:
        ShowPopup();
        break;
    default:
        break;
    }
}

void TTrayIcon::ShowPopup()
{
    const QPoint at = QCursor::pos();
    // Where the area draws the menu, it has done so already.
    if (popupMenu_ && !menuDrawnByArea_) {
        platform::ProcessMessages();
        popupMenu_->popup(at);
    }
    if (OnRightClick)
        OnRightClick(this, mbRight, TShiftState{}, at.x(), at.y());
}

} // namespace ui
