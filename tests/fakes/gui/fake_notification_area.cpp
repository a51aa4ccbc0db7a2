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

} // namespace fakes
