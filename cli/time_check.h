#pragma once
// The terminal's time check: the check engine's log printed as numbered
// lines, and the result in the window's words (or as one JSON object).
// Never sets the clock.

#include "check/check_engine.h"
#include "check/ntp_protocol.h"
#include "check/nts_key_exchange.h"
#include "check/nts_protocol.h"
#include "check/rfc868_protocol.h"
#include "check/timer_scheduler.h"
#include "history/record_of.h"
#include "platform/precise_clock.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace cli {

struct TimeCheckOptions {
    std::string host;
    std::string port = "time";
    int timeOutSeconds = 10;
    int retries = 3;
    bool udp = false;   // one empty datagram out, one four-byte datagram back
    bool ntp = false;   // NTP over UDP instead of the Time protocol
    int samples = 1;    // NTP: requests 2 s apart, the least delayed kept
    bool json = false;  // the result (or the failure) as one JSON object
    bool nts = false;   // NTP with a key exchange first, every answer authenticated
    std::string ntsPort = "4460";   // the key exchange's TCP port
    std::string caFile;             // trusted instead of the system's certificates
    bool portGiven = false;         // with nts: `port` overrides the one the exchange names
};

// Where the check's output goes, and how "now" is read (tests replace both).
struct TimeCheckIo {
    std::function<void(const std::string& line)> log;     // numbered log lines
    std::function<void(const std::string& line)> result;  // server, local time, correction; or the JSON
    std::function<void(const std::string& line)> detail;  // reasons behind a failure
    std::function<std::int64_t()> utcNowNanoseconds;
    std::function<int()> utcOffsetSeconds;   // local = UTC + offset, daylight included
    std::function<std::string(int secondsOfDay)> formatTime;
    // The check's record for the history, once it has ended; unset: none is kept.
    std::function<void(const history::CheckRecord& record)> record;
};

// What the check is run with; none: the real ones.
struct TimeCheckParts {
    platform::PreciseClock* clock = nullptr;   // the NTP exchange's clocks
    check::Transport* transport = nullptr;
    check::KissStore* kissStore = nullptr;     // none: kiss-o'-death is not remembered
};

class TimeCheck {
public:
    enum class Outcome { Running, Completed, Failed };

    TimeCheck(TimeCheckOptions options, TimeCheckIo io, TimeCheckParts parts = {});
    ~TimeCheck();

    // Starts the first attempt; `finished` is called once, when the check ends.
    void start(std::function<void(Outcome)> finished);
    Outcome outcome() const { return outcome_; }

private:
    void present(const check::CheckResult& result);
    void presentFailure(const check::Failure& failure);
    std::string serverShown() const;
    history::CheckAsked asked() const;
    void finish(Outcome outcome);
    // Authenticated NTP: the key exchange first, then the engine on the server it names.
    void startKeyExchange();
    void keyExchangeDone(const check::KeyExchangeOutcome& outcome);
    void engineEnded(const check::Failure& failure);
    std::string protocolName() const;

    TimeCheckOptions options_;
    TimeCheckIo io_;
    platform::LinuxPreciseClock systemClock_;
    std::unique_ptr<check::Transport> ownTransport_;
    check::Transport* transport_;
    check::TimerScheduler scheduler_;
    check::Rfc868Protocol rfc868_;
    check::NtpProtocol ntp_;
    platform::GnutlsAeadSiv aead_;
    check::NtsProtocol nts_;
    check::NtsKeyExchange keyExchange_;
    check::NtsSession session_;
    std::string ntpHost_;          // where the engine asks
    bool freshExchangeUsed_ = false;   // one new exchange per check when the server asks for it
    check::CheckEngine engine_;
    std::function<void(Outcome)> finished_;
    Outcome outcome_ = Outcome::Running;
};

} // namespace cli
