#include "fakes/gui/fake_notification_area.h"

namespace fakes {

bool FakeNotificationArea::Shell_NotifyIconA(std::uint32_t message, const platform::NOTIFYICONDATAA& data)
{
    calls.push_back(Call{message, data.hWnd, data.uFlags, data.uCallbackMessage, !data.hIcon.isNull(),
                         std::string(data.szTip)});
    if (message == platform::NIM_ADD)
        shown = true;
    else if (message == platform::NIM_DELETE)
        shown = false;
    return true;
}

bool FakeNotificationArea::SetMenu(platform::HWND, std::uint32_t, QMenu* offered)
{
    menu = offered;
    ++menuOffers;
    return drawsMenu && offered;
}

} // namespace fakes
