// The window's second check of an NTS server, with the keys and cookies its
// first one left, against a plain NTP check from the same window: Connect's
// click to the window idle again, log lines, Correction box and tray tip
// drawn, on the real event loop and the real network, against one chronyd
// (ports and certificate from the command line). Adjust is off and nothing
// is recorded: the clock is never set, and the history's write would only
// hide the difference. Blocks of each protocol alternate; medians.
// Usage: nts_window_timer NTP_PORT KE_PORT CA_FILE [RUNS]   (offscreen)

#include "app/view_form.h"
#include "platform/date_format.h"
#include "platform/gui/notify_icon.h"
#include "platform/gui/screen_cursor.h"
#include "platform/local_clock.h"
#include "platform/system_time.h"
#include "platform/timezone.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kBlock = 10;   // checks of one protocol before switching

// One check from Connect to idle, in microseconds; -1 when it did not end in time.
double timedCheck(TViewForm& window)
{
    QElapsedTimer timer;
    timer.start();
    window.btnConnect->click();
    while (!(window.btnConnect->isEnabled() && !window.CheckRunning())) {
        if (timer.elapsed() > 10000)
            return -1;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1000.0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void choose(TViewForm& window, int protocolIndex)
{
    window.ComboProtocol->setCurrentIndex(protocolIndex);
    window.ComboServer->setEditText(QStringLiteral("127.0.0.1"));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: nts_window_timer NTP_PORT KE_PORT CA_FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 4 ? std::max(kBlock, std::atoi(argv[4])) : 100;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QFile settings(config.path() + "/Tikora.ini");
    if (!settings.open(QIODevice::WriteOnly) ||
        settings.write("[ViewForm]\nProtocol=NTS\nServer=127.0.0.1\nTimeout=5\nAdjust=0\nRetry=0\n") < 0)
        return 1;
    settings.close();

    platform::SystemTimeZone zone;
    platform::RealSystemClock clock;
    platform::LinuxSystemTime systemTime;
    platform::QtNotificationArea notificationArea;
    platform::QtScreenCursor cursor;
    ViewFormServices services{zone, clock, systemTime, notificationArea, cursor, platform::SystemFormatSettings(),
                              "time", [] {}};
    services.ntpPort = argv[1];
    services.ntsPort = argv[2];
    services.ntsCaFile = argv[3];
    services.earliestServerTime = 0;
    TViewForm window(services);

    constexpr int kNtp = 1, kNts = 2;   // the Protocol box's items
    choose(window, kNts);
    if (timedCheck(window) < 0) {   // the key exchange: the cookies every later check uses
        std::fprintf(stderr, "nts_window_timer: the first NTS check did not end\n");
        return 1;
    }
    std::vector<double> ntsUs, ntpUs;
    for (int done = -kBlock; done < runs; done += kBlock) {   // the first block warms caches
        for (const int protocol : {kNts, kNtp}) {
            choose(window, protocol);
            for (int i = 0; i < kBlock; ++i) {
                const double us = timedCheck(window);
                if (us < 0 || window.Correction->text().isEmpty()) {
                    std::fprintf(stderr, "nts_window_timer: a check failed (%s)\n", protocol == kNts ? "NTS" : "NTP");
                    return 1;
                }
                if (done >= 0)
                    (protocol == kNts ? ntsUs : ntpUs).push_back(us);
            }
        }
    }
    const double ratio = median(ntsUs) / median(ntpUs);
    std::printf("one check from the window, median of %zu each (us): NTS with kept cookies %.0f, NTP %.0f\n",
                ntsUs.size(), median(ntsUs), median(ntpUs));
    std::printf("  NTS (kept cookies) / NTP: %.2f (goal <= 1.2) %s\n", ratio, ratio <= 1.2 ? "PASS" : "MISS");
    return 0;
}
