#pragma once
// A notification area that records every Shell_NotifyIconA call.

#include "platform/gui/notify_icon.h"

#include <string>
#include <vector>

namespace fakes {

class FakeNotificationArea final : public platform::NotificationArea {
public:
    struct Call {
        std::uint32_t message = 0;
        platform::HWND window = platform::kNoWindow;
        std::uint32_t flags = 0;
        std::uint32_t callbackMessage = 0;
        bool hasIcon = false;
        std::string tip;
    };
    bool available = true;
    std::vector<Call> calls;
    bool shown = false;   // an icon was added and not deleted since
    bool drawsMenu = false;   // stands for a StatusNotifierItem host
    QMenu* menu = nullptr;    // the menu last offered
    int menuOffers = 0;

    bool Shell_NotifyIconA(std::uint32_t message, const platform::NOTIFYICONDATAA& data) override;
    bool Available() const override { return available; }
    bool SetMenu(platform::HWND window, std::uint32_t id, QMenu* offered) override;
    // The tip of the last call, "" before any.
    std::string lastTip() const { return calls.empty() ? std::string() : calls.back().tip; }
};

} // namespace fakes
