// Tikora: the main window, the list dialog and the tray icon on the real
// operating-system services.
#include "app/view_form.h"

#include "platform/gui/notify_icon.h"
#include "platform/gui/screen_cursor.h"
#include "platform/guarded_application.h"
#include "platform/local_clock.h"
#include "platform/system_time.h"
#include "platform/timezone.h"
#include "ui/controls.h"
#include "ui/moon_form.h"
#include "ui/view_form_layout.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "tikora: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)\n");
        return 1;
    }
    // X11 shared-memory images make every paint wait for a round trip to the
    // server until the last one was copied: several wake-ups a second for the
    // clock's one-second repaint of a few pixels. This window's repaints are
    // small; the socket carries them at no wait. A user's own setting wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
    platform::GuardedApplication<QApplication> application(argc, argv);
    // The main window ends the program when it closes, also while the list
    // dialog is open; hiding it to the tray must not.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationName(QStringLiteral("tikora"));
    QApplication::setDesktopFileName(QStringLiteral("tikora"));
    QApplication::setWindowIcon(ui::ApplicationIcon());
    QApplication::setFont(ui::DesignFont());
    platform::SetErrorReport([](const std::string& message, const QObject*) {
        QMessageBox::critical(nullptr, QStringLiteral("Tikora 2.0"), QString::fromStdString(message));
    });

    platform::SystemTimeZone zone;
    platform::RealSystemClock clock;
    platform::LinuxSystemTime systemTime;
    platform::QtNotificationArea notificationArea;
    platform::QtScreenCursor cursor;
    // The right to set the clock is off until the one call that needs it.
    systemTime.AdjustPrivilege(platform::SE_SYSTEMTIME_NAME, false);

    ViewFormServices services{zone,   clock, systemTime, notificationArea, cursor, platform::SystemFormatSettings(),
                              "time", [] { QCoreApplication::quit(); }};
    std::unique_ptr<TViewForm> ViewForm;
    std::unique_ptr<ui::TMoonForm> MoonForm;
    try {
        ViewForm = std::make_unique<TViewForm>(services);
        MoonForm = std::make_unique<ui::TMoonForm>();
        ViewForm->MoonForm = MoonForm.get();
        ViewForm->ShowAtStart();
    } catch (const std::exception& error) {
        platform::ShowException(error);
        if (!ViewForm)
            return 1;
    }
    const int result = QApplication::exec();
    try {
        ViewForm->FormDestroy();
    } catch (const std::exception& error) {
        platform::ShowException(error);
    }
    ViewForm->MoonForm = nullptr;
    MoonForm.reset();
    ViewForm.reset();
    return result;
}
