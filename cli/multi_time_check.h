#pragma once
// The terminal's check of several sources: every host, and every address of
// each name, asked at once; one line per source as it ends, then the
// verdicts and the majority's result. Never sets the clock.

#include "check/multi_source_check.h"
#include "check/timer_scheduler.h"
#include "cli/time_check.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cli {

// What the check is run with; none: the real ones.
struct MultiTimeCheckParts {
    platform::PreciseClock* clock = nullptr;
    check::MultiSourceCheck::TransportFactory transports;
    check::KissStore* kissStore = nullptr;
};

class MultiTimeCheck {
public:
    MultiTimeCheck(TimeCheckOptions options, std::vector<std::string> hosts, TimeCheckIo io,
                   MultiTimeCheckParts parts = {});
    ~MultiTimeCheck();

    // Completed when a majority agrees; `finished` is called once.
    void start(std::function<void(TimeCheck::Outcome)> finished);
    TimeCheck::Outcome outcome() const { return outcome_; }

private:
    void present(const check::MultiSourceResult& result);

    TimeCheckOptions options_;
    std::vector<std::string> hosts_;
    TimeCheckIo io_;
    platform::LinuxPreciseClock systemClock_;
    platform::PreciseClock& clock_;
    platform::GnutlsAeadSiv aead_;
    check::TimerScheduler scheduler_;
    check::SourceAddresses addresses_;
    std::unique_ptr<check::MultiSourceCheck> check_;
    std::function<void(TimeCheck::Outcome)> finished_;
    TimeCheck::Outcome outcome_ = TimeCheck::Outcome::Running;
};

} // namespace cli
