// Tikora: the main window, the list dialog and the tray icon on the real
// operating-system services.
#include "app/autostart.h"
#include "app/settings.h"
#include "app/settings_saver.h"
#include "app/single_instance.h"
#include "app/view_form.h"
#include "check/kiss_store.h"
#include "history/history_store.h"

#include "platform/gui/notify_icon.h"
#include "platform/gui/screen_cursor.h"
#include "platform/guarded_application.h"
#include "platform/local_clock.h"
#include "platform/private_profile.h"
#include "platform/process_signals.h"
#include "platform/system_time.h"
#include "platform/timedate1.h"
#include "platform/timezone.h"
#include "ui/controls.h"
#include "ui/moon_form.h"
#include "ui/view_form_layout.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QSessionManager>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

void reportOnStandardError(const std::string& message, const QObject*)
{
    std::fprintf(stderr, "tikora: %s\n", message.c_str());
}

// The boxes open now, the last opened first; a bounded loop, as each close
// may run code that opens another.
void closeMessageBoxes()
{
    constexpr int kBoxesMax = 16;
    for (int i = 0; i < kBoxesMax; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
}

} // namespace

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
    std::unique_ptr<TViewForm> ViewForm;
    std::unique_ptr<ui::TMoonForm> MoonForm;
    // A polite end (logout, kill, Ctrl+C) leaves as Exit does, writing the
    // settings. Caught before this copy is seen by later starts, so that no
    // signal finds it without its orderly exit; before the loop runs a quit
    // would be lost, so the request is kept until the window is there.
    bool endRequested = false;
    const platform::ProcessSignals endSignals({SIGTERM, SIGHUP, SIGINT}, [&ViewForm, &endRequested](int) {
        endRequested = true;
        // Ended from outside (a session ending, a service stopping): a message
        // box nobody may see would hold up the end, so errors go to stderr
        // and questions are answered no.
        platform::SetErrorReport(reportOnStandardError);
        platform::SetQuestion({});
        closeMessageBoxes();
        if (ViewForm)
            ViewForm->mnuExitClick();
        // Every loop, also a message box's inside the window's constructor.
        QCoreApplication::exit(0);
    });
    // Before anything is shown: a later start hands over to the copy that runs.
    app::SingleInstance instance(
        app::InstanceNamesFor(QString::fromStdString(platform::ProfilePath(app::kSettingsFileName)),
                              app::RuntimeDirectory()));
    QString why;
    switch (instance.claim(std::chrono::milliseconds(800), &why)) {
    case app::SingleInstance::Claim::HandedOver:
        return 0;
    case app::SingleInstance::Claim::Unanswered:
        std::fprintf(stderr, "tikora: already running (%s)\n", qPrintable(why));
        return 1;
    case app::SingleInstance::Claim::Unguarded:
    case app::SingleInstance::Claim::First:
        if (!why.isEmpty())
            std::fprintf(stderr, "tikora: running without the one-copy guard: %s\n", qPrintable(why));
        break;
    }
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
    platform::SetQuestion([](const std::string& question, const QObject*) {
        return QMessageBox::question(nullptr, QStringLiteral("Tikora 2.0"), QString::fromStdString(question)) ==
               QMessageBox::Yes;
    });

    platform::SystemTimeZone zone;
    platform::RealSystemClock clock;
    platform::LinuxSystemTime systemTime;
    platform::Timedate1Client timeDate;
    platform::QtNotificationArea notificationArea;
    platform::QtScreenCursor cursor;
    // The right to set the clock is off until the one call that needs it.
    systemTime.AdjustPrivilege(platform::SE_SYSTEMTIME_NAME, false);

    ViewFormServices services{zone,   clock, systemTime, notificationArea, cursor, platform::SystemFormatSettings(),
                              "time", [] { QCoreApplication::quit(); }, &timeDate};
    services.autostartProgram = app::AutostartProgram(QCoreApplication::applicationFilePath().toStdString(),
                                                      qEnvironmentVariable("PATH").toStdString());
    // Shared with tikora-cli through the user's state folder.
    check::FileKissStore kissStore;
    services.kissStore = &kissStore;
    // Every check's record, shared with tikora-cli; opened (and checked) once.
    history::HistoryStore historyStore(history::DefaultHistoryPath());
    services.history = &historyStore;
    try {
        ViewForm = std::make_unique<TViewForm>(services);
        MoonForm = std::make_unique<ui::TMoonForm>();
        ViewForm->MoonForm = MoonForm.get();
        if (!endRequested)
            ViewForm->ShowAtStart();
    } catch (const std::exception& error) {
        platform::ShowException(error);
        if (!ViewForm)
            return 1;
    }
    instance.OnShowRequest = [&ViewForm] {
        if (ViewForm)
            ViewForm->mnuPropertiesClick();
    };
    // The session may end without closing the window: the settings go to disk first.
    const auto saveForSession = [&ViewForm](QSessionManager&) {
        if (ViewForm && ViewForm->settingsSaver)
            ViewForm->settingsSaver->Flush();
    };
    QObject::connect(&application, &QGuiApplication::commitDataRequest, saveForSession);
    QObject::connect(&application, &QGuiApplication::saveStateRequest, saveForSession);
    const int result = endRequested ? 0 : QApplication::exec();
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
