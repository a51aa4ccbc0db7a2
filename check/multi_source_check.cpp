#include "check/multi_source_check.h"

#include "check/ntp_protocol.h"
#include "check/scheduler_share.h"

namespace check {
namespace {
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
} // namespace

std::string SourceLabel(const SourceEnd& source)
{
    return source.server == source.address || source.server.empty() ? source.address
                                                                     : source.address + " (" + source.server + ")";
}

std::string SeveralSourcesFailure(const MultiSourceResult& result)
{
    return result.selection.answered == 0 ? "No server answered" : "The servers disagree";
}

std::string SourceEndLine(const SourceEnd& source)
{
    const std::string line = ">" + SourceLabel(source) + ": ";
    if (!source.result)
        return line + source.failure.reason;
    if (!source.result->ntp) {
        // The Time protocol's whole seconds, signed as NTP's offsets are.
        const std::int64_t seconds = source.answer.offsetNs / kNanosecondsPerSecond;
        return line + "offset " + (seconds < 0 ? "" : "+") + std::to_string(seconds) + " s";
    }
    const NtpReading& reading = *source.result->ntp;
    return line + "offset " + SecondsText(reading.offsetNs, true) + " s, delay " + SecondsText(reading.delayNs, false) +
           " s, stratum " + std::to_string(reading.stratum);
}

struct MultiSourceCheck::Runner {
    // Destroyed in reverse: the engine goes before what it uses.
    std::unique_ptr<Transport> transport;
    std::unique_ptr<CheckProtocol> protocol;
    std::unique_ptr<SourcePreparation> preparation;   // owns the protocol when there is one
    Source source;
    std::unique_ptr<SchedulerShare> scheduler;
    std::unique_ptr<CheckEngine> engine;
    std::string host;
    SourceEnd end;
    bool over = false;
    bool preparedAgain = false;
};

MultiSourceCheck::MultiSourceCheck(Scheduler& scheduler, TransportFactory transports, ProtocolFactory protocols,
                                   MultiSourceSetup setup, MultiSourceEvents events)
    : scheduler_(scheduler),
      transports_(std::move(transports)),
      protocols_(std::move(protocols)),
      setup_(std::move(setup)),
      events_(std::move(events))
{
}

MultiSourceCheck::~MultiSourceCheck() = default;

void MultiSourceCheck::start(const std::vector<Source>& sources)
{
    runners_.clear();
    running_ = true;
    for (const Source& source : sources) {
        auto& runner = *runners_.emplace_back(std::make_unique<Runner>());
        runner.host = source.host;
        runner.source = source;
        runner.end.number = static_cast<int>(runners_.size());
        runner.end.server = source.server;
        runner.end.address = source.host;
        if (!source.error.empty()) {
            runner.over = true;
            runner.end.failure = {"Error: " + source.error + ".", {}};
            continue;
        }
        runner.transport = transports_();
        if (preparations_)
            runner.preparation = preparations_();
        else
            runner.protocol = protocols_();
        runner.scheduler = std::make_unique<SchedulerShare>(scheduler_);
        runner.engine = std::make_unique<CheckEngine>(
            *runner.transport, *runner.scheduler,
            runner.preparation ? runner.preparation->protocol() : *runner.protocol);
        CheckEngine& engine = *runner.engine;
        engine.configure(setup_.port, setup_.timeOutSeconds);
        engine.setRetriesLeft(setup_.retries);
        if (setup_.kissStore)
            engine.rememberKissesIn(setup_.kissStore, setup_.nowUnixSeconds);
        if (setup_.earliestServerTime)
            engine.refuseServerTimesBefore(*setup_.earliestServerTime);
        CheckEvents events;
        events.log = [this, &runner](int, const std::string& line) {
            if (events_.log)
                events_.log(runner.end.number, line);
        };
        events.result = [this, &runner](const CheckResult& result) {
            runner.end.result = result;
            runner.end.answer = AnswerOf(result, setup_.localNow ? setup_.localNow() : LocalReading{});
            ended(runner);
        };
        events.ended = [this, &runner](Outcome outcome, const Failure& failure) {
            // The server refused the prepared keys (an authenticated NTSN): one fresh preparation.
            if (outcome == Outcome::Failed && runner.preparation && !runner.preparation->readyToAsk() &&
                !runner.preparedAgain) {
                runner.preparedAgain = true;
                prepare(runner);
                return;
            }
            runner.end.failure = failure;
            ended(runner);
        };
        // A retry keeps the source's number in the log.
        events.nextAttempt = [this, &runner] {
            runner.engine->setCheckNumber(runner.end.number - 1);
            if (runner.preparation && !runner.preparation->readyToAsk())
                prepare(runner);
            else
                runner.engine->start(runner.host);
        };
        engine.setEvents(std::move(events));
    }
    // Only once every runner exists: an engine may end inside its own start.
    for (const auto& runner : runners_) {
        if (runner->over) {
            if (events_.log)
                events_.log(runner->end.number, ">" + runner->end.failure.reason);
            if (events_.sourceEnded)
                events_.sourceEnded(runner->end);
        }
    }
    for (const auto& runner : runners_) {
        if (runner->engine) {
            runner->engine->setCheckNumber(runner->end.number - 1);
            if (runner->preparation)
                prepare(*runner);
            else
                runner->engine->start(runner->host);
        }
    }
    finishIfDone();
}

void MultiSourceCheck::prepare(Runner& runner)
{
    runner.preparation->start(
        runner.source,
        [this, &runner](const std::string& line) {
            if (events_.log)
                events_.log(runner.end.number, line);
        },
        [this, &runner](const SourcePreparation::Ready& ready) { prepared(runner, ready); });
}

void MultiSourceCheck::prepared(Runner& runner, const SourcePreparation::Ready& ready)
{
    // Checked where it lands: the source may have been stopped meanwhile.
    if (runner.over)
        return;
    if (!ready.error.empty()) {
        if (events_.log)
            events_.log(runner.end.number, ">Error: " + ready.error + ".");
        runner.end.failure = {ready.error, {}};
        ended(runner);
        return;
    }
    runner.host = ready.host;
    // A second preparation keeps the source's number in the log.
    runner.engine->setCheckNumber(runner.end.number - 1);
    runner.engine->configure(ready.port.empty() ? setup_.port : ready.port, setup_.timeOutSeconds);
    runner.engine->start(runner.host);
}

void MultiSourceCheck::stop(const std::string& line)
{
    for (const auto& runner : runners_) {
        if (runner->over || !runner->engine)
            continue;
        if (runner->preparation)
            runner->preparation->cancel();
        runner->engine->stop(line);
        // Waiting to retry, nothing runs to stop: the source ends all the same.
        if (!runner->over) {
            if (events_.log)
                events_.log(runner->end.number, line);
            runner->end.failure = {line.empty() || line[0] != '>' ? line : line.substr(1), {}};
            ended(*runner);
        }
    }
}

void MultiSourceCheck::ended(Runner& runner)
{
    if (runner.over)
        return;
    runner.over = true;
    if (runner.transport && !runner.transport->peerAddress().empty())
        runner.end.address = runner.transport->peerAddress();
    if (events_.sourceEnded)
        events_.sourceEnded(runner.end);
    finishIfDone();
}

void MultiSourceCheck::finishIfDone()
{
    if (!running_)
        return;
    for (const auto& runner : runners_)
        if (!runner->over)
            return;
    running_ = false;
    MultiSourceResult result;
    std::vector<std::optional<SourceInterval>> intervals;
    for (const auto& runner : runners_) {
        result.sources.push_back(runner->end);
        if (runner->end.result)
            intervals.push_back(SourceInterval{runner->end.answer.offsetNs, runner->end.answer.errorBoundNs});
        else
            intervals.emplace_back();
    }
    result.selection = SelectSources(intervals);
    if (result.selection.majority) {
        result.combined = result.selected()->answer;
        result.combined->errorBoundNs = result.selection.errorBoundNs;
    }
    if (events_.finished)
        events_.finished(result);
}

} // namespace check
