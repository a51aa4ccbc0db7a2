// A check with kept keys and cookies, as the window's second check to a
// server makes it, against a plain NTP check: the engine over the real
// transport, on the event loop, against one chronyd (ports and certificate
// from the command line). One key exchange first; then NTS and NTP checks
// alternate and each takes its median.
// Usage: nts_exchange_timer NTP_PORT KE_PORT CA_FILE [RUNS]

#include "check/check_engine.h"
#include "check/network_transport.h"
#include "check/ntp_protocol.h"
#include "check/nts_key_exchange.h"
#include "check/nts_protocol.h"
#include "check/timer_scheduler.h"
#include "platform/precise_clock.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One whole check on the engine, start to result; -1 when it failed.
double timedCheck(check::CheckEngine& engine, const std::string& host)
{
    QEventLoop loop;
    bool answered = false;
    check::CheckEvents events;
    events.result = [&](const check::CheckResult& result) {
        answered = result.ntp.has_value();
        loop.quit();
    };
    events.ended = [&](check::Outcome, const check::Failure&) { loop.quit(); };
    engine.setEvents(std::move(events));
    const Clock::time_point start = Clock::now();
    engine.start(host);
    if (engine.running())
        loop.exec();
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    return answered ? us : -1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: nts_exchange_timer NTP_PORT KE_PORT CA_FILE [RUNS]\n");
        return 2;
    }
    const std::string ntpPort = argv[1];
    const int runs = argc > 4 ? std::max(1, std::atoi(argv[4])) : 200;

    check::NtsSession session;
    check::NtsKeyExchange exchange;
    {
        QEventLoop loop;
        std::string error = "no answer";
        exchange.start({"127.0.0.1", argv[2], argv[3], 5, {}}, [](const std::string&) {},
                       [&](const check::KeyExchangeOutcome& outcome) {
                           error = outcome.error;
                           session = outcome.session;
                           loop.quit();
                       });
        if (exchange.running())
            loop.exec();
        if (!error.empty()) {
            std::fprintf(stderr, "nts_exchange_timer: key exchange failed: %s\n", error.c_str());
            return 1;
        }
    }

    platform::LinuxPreciseClock clock;
    platform::GnutlsAeadSiv aead;
    check::NtpProtocol ntp(clock, 1);
    check::NtsProtocol nts(clock, aead, 1);
    nts.setSession(&session);
    const auto transport = check::MakeNetworkTransport();
    check::TimerScheduler scheduler;
    check::CheckEngine engine(*transport, scheduler, ntp);
    engine.refuseServerTimesBefore(0);

    std::vector<double> ntsUs, ntpUs;
    for (int i = 0; i < runs + 10; ++i) {
        engine.setProtocol(nts);
        engine.configure(session.ntpPort, 5);
        const double a = timedCheck(engine, session.ntpHost);
        engine.setProtocol(ntp);
        engine.configure(ntpPort, 5);
        const double b = timedCheck(engine, "127.0.0.1");
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "nts_exchange_timer: a check failed (%s)\n", a < 0 ? "NTS" : "NTP");
            return 1;
        }
        if (i >= 10) {   // the first ones warm caches
            ntsUs.push_back(a);
            ntpUs.push_back(b);
        }
    }
    const double ratio = median(ntsUs) / median(ntpUs);
    std::printf("one check on the engine, median of %d each (us): NTS with kept cookies %.1f, NTP %.1f\n", runs,
                median(ntsUs), median(ntpUs));
    // The goal is the window's check (nts_window_timer); this is its floor, the authentication alone.
    std::printf("  NTS (kept cookies) / NTP: %.2f (the engine alone; the goal is on the window's check)\n", ratio);
    return 0;
}
