#pragma once
// The window's side of the history: each check that ends leaves one record,
// and a step of the clock whose answer comes later (the time and date
// service asks polkit first) updates the record it belongs to. Without a
// store nothing is recorded; a store that cannot be used is reported once.

#include "check/answer.h"
#include "check/check_protocol.h"
#include "history/record_of.h"
#include "platform/clock_service.h"

#include <cstdint>
#include <functional>
#include <string>

namespace history {
class HistoryStore;
}

namespace app {

class CheckRecorder {
public:
    // `report` is told each new problem with the store, once.
    CheckRecorder(history::HistoryStore* store, std::function<void(const std::string&)> report);

    // An answered check; `stepAsked`: a step of the clock follows and its
    // answer goes to clockAnswered() with lastAnswered() (0: not stored).
    void answered(const history::CheckAsked& asked, const check::CheckResult& result,
                          const check::Answer& answer, bool stepAsked);
    std::int64_t lastAnswered() const { return lastAnswered_; }
    void failed(const history::CheckAsked& asked, const std::string& reason);
    void clockAnswered(std::int64_t id, const platform::ClockStep& step, const platform::ClockStepReport& report);

private:
    std::int64_t store(history::CheckRecord record);
    void reportOnce(const std::string& problem);

    history::HistoryStore* store_;
    std::function<void(const std::string&)> report_;
    std::string lastReported_;
    std::int64_t lastAnswered_ = 0;
};

} // namespace app
