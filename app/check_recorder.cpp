#include "app/check_recorder.h"

#include "history/history_store.h"

#include <array>

namespace app {
namespace {

using platform::ClockStepOutcome;
using history::ClockAction;

struct ClockOutcomeRecord {
    ClockStepOutcome outcome;
    ClockAction action;
    const char* detail;   // a refusal's reason, when the service gave none
};

constexpr std::array<ClockOutcomeRecord, 6> kClockOutcomes{{
    {ClockStepOutcome::Stepped, ClockAction::Stepped, ""},
    {ClockStepOutcome::KeptByTimeService, ClockAction::TimeService, ""},
    {ClockStepOutcome::NotAuthorised, ClockAction::Refused, "not authorised"},
    {ClockStepOutcome::AutomaticSyncOn, ClockAction::Refused, "automatic time synchronisation is on"},
    {ClockStepOutcome::Failed, ClockAction::Refused, "the system refused"},
    {ClockStepOutcome::StillWaiting, ClockAction::Refused, "an earlier clock change still awaits the system's answer"},
}};

} // namespace

CheckRecorder::CheckRecorder(history::HistoryStore* store, std::function<void(const std::string&)> report)
    : store_(store), report_(std::move(report))
{
    if (store_ == nullptr)
        return;
    if (!store_->notice().empty())
        reportOnce(store_->notice());
    if (!store_->usable())
        reportOnce(store_->error());
}

void CheckRecorder::answered(const history::CheckAsked& asked, const check::CheckResult& result,
                             const check::Answer& answer, bool stepAsked)
{
    history::CheckRecord record = history::RecordOfAnswer(asked, result, answer);
    if (stepAsked)
        record.clockAction = ClockAction::Pending;
    lastAnswered_ = store(std::move(record));
}

void CheckRecorder::failed(const history::CheckAsked& asked, const std::string& reason)
{
    store(history::RecordOfFailure(asked, reason));
}

void CheckRecorder::clockAnswered(std::int64_t id, const platform::ClockStep& step,
                                  const platform::ClockStepReport& report)
{
    if (store_ == nullptr || id == 0)
        return;
    for (const ClockOutcomeRecord& known : kClockOutcomes) {
        if (known.outcome != report.outcome)
            continue;
        const std::optional<double> stepSeconds =
            known.action == ClockAction::Stepped ? std::optional<double>(double(step.nanoseconds) / 1e9) : std::nullopt;
        const std::string detail = known.action != ClockAction::Refused ? ""
                                   : report.detail.empty()             ? known.detail
                                                                       : report.detail;
        if (!store_->updateClockAction(id, known.action, stepSeconds, detail))
            reportOnce(store_->error());
        return;
    }
}

std::int64_t CheckRecorder::store(history::CheckRecord record)
{
    if (store_ == nullptr || !store_->usable())
        return 0;
    if (!store_->append(record)) {
        reportOnce(store_->error());
        return 0;
    }
    return record.id;
}

void CheckRecorder::reportOnce(const std::string& problem)
{
    if (problem.empty() || problem == lastReported_)
        return;
    lastReported_ = problem;
    if (report_)
        report_(problem);
}

} // namespace app
