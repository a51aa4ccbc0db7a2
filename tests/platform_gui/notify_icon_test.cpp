// The desktop's notification area where there is none: off X11 and without a
// StatusNotifierItem host (the offscreen platform, no session bus).
#include "platform/gui/notify_icon.h"

#include <QMenu>
#include <QPixmap>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace platform {
namespace {

std::vector<std::string> messages;

void recordMessage(QtMsgType, const QMessageLogContext&, const QString& text)
{
    messages.push_back(text.toStdString());
}

TEST(QtNotificationArea, WithoutAnyTrayOffX11NoIconIsMadeAndNothingIsWarned)
{
    // Before anything opens the session bus: a bus that is not there.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tikora-test-bus");
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordMessage);
    {
        QtNotificationArea area;
        NOTIFYICONDATAA data;
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        data.uCallbackMessage = WM_USER + 1;
        QPixmap image(16, 16);
        image.fill(Qt::blue);
        data.hIcon = QIcon(image);
        EXPECT_FALSE(area.Available());
        EXPECT_FALSE(area.Shell_NotifyIconA(NIM_ADD, data));
        EXPECT_FALSE(area.Shell_NotifyIconA(NIM_MODIFY, data));
        QMenu menu;
        EXPECT_FALSE(area.SetMenu(data.hWnd, data.uID, &menu));   // the window pops it up
        EXPECT_FALSE(area.Shell_NotifyIconA(NIM_DELETE, data));
    }
    qInstallMessageHandler(previous);
    for (const std::string& message : messages)
        ADD_FAILURE() << "Qt warned: " << message;
}

} // namespace
} // namespace platform
