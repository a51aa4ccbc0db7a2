#include "cli/time_check.h"

#include "check/answer.h"
#include "check/network_transport.h"
#include "cli/check_report.h"

#include <QDateTime>

namespace cli {
namespace {
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int64_t kSecondsPerDay = 86400;

int SecondsOfDay(std::int64_t localNanoseconds)
{
    const std::int64_t seconds = localNanoseconds / kNanosecondsPerSecond - (localNanoseconds % kNanosecondsPerSecond < 0);
    const std::int64_t rest = seconds % kSecondsPerDay;
    return static_cast<int>(rest < 0 ? rest + kSecondsPerDay : rest);
}
} // namespace

TimeCheck::TimeCheck(TimeCheckOptions options, TimeCheckIo io, TimeCheckParts parts)
    : options_(std::move(options)),
      io_(std::move(io)),
      ownTransport_(parts.transport ? nullptr : check::MakeNetworkTransport()),
      transport_(parts.transport ? parts.transport : ownTransport_.get()),
      rfc868_(options_.udp ? check::SocketKind::Datagram : check::SocketKind::Stream),
      ntp_(parts.clock ? *parts.clock : systemClock_, options_.samples),
      nts_(parts.clock ? *parts.clock : systemClock_, aead_, options_.samples),
      engine_(*transport_, scheduler_,
              options_.nts ? static_cast<check::CheckProtocol&>(nts_)
                           : options_.ntp ? static_cast<check::CheckProtocol&>(ntp_) : rfc868_)
{
    nts_.setSession(&session_);
    engine_.rememberKissesIn(parts.kissStore, [] { return QDateTime::currentSecsSinceEpoch(); });
}

TimeCheck::~TimeCheck() = default;

void TimeCheck::start(std::function<void(Outcome)> finished)
{
    finished_ = std::move(finished);
    check::CheckEvents events;
    events.log = [this](int number, const std::string& line) { io_.log(std::to_string(number) + line); };
    events.result = [this](const check::CheckResult& result) { present(result); };
    events.ended = [this](check::Outcome, const check::Failure& failure) {
        if (options_.nts)
            engineEnded(failure);
        else
            presentFailure(failure);
    };
    if (options_.nts)
        // A retry with the cookies spent needs a new exchange before it asks.
        events.nextAttempt = [this] {
            if (session_.usable())
                engine_.start(ntpHost_);
            else
                startKeyExchange();
        };
    engine_.setEvents(std::move(events));
    engine_.configure(options_.port, options_.timeOutSeconds);
    engine_.setRetriesLeft(options_.retries);
    if (options_.nts)
        startKeyExchange();
    else
        engine_.start(options_.host);
}

std::string TimeCheck::protocolName() const
{
    return options_.nts ? "nts" : options_.ntp ? "ntp" : "time";
}

void TimeCheck::startKeyExchange()
{
    // The exchange's lines belong to the check the engine is about to number.
    const int number = engine_.checkNumber() + 1;
    keyExchange_.start({options_.host, options_.ntsPort, options_.caFile, options_.timeOutSeconds, {}},
                       [this, number](const std::string& line) { io_.log(std::to_string(number) + line); },
                       [this](const check::KeyExchangeOutcome& outcome) { keyExchangeDone(outcome); });
}

void TimeCheck::keyExchangeDone(const check::KeyExchangeOutcome& outcome)
{
    if (!outcome.error.empty()) {
        // No NTP request goes out without keys: a failed exchange ends the check.
        io_.log(std::to_string(engine_.checkNumber() + 1) + ">Error: " + outcome.error + ".");
        presentFailure({outcome.error, {}});
        return;
    }
    session_ = outcome.session;
    nts_.clearNeedsKeyExchange();
    ntpHost_ = session_.ntpHost;
    if (options_.portGiven)
        io_.log(std::to_string(engine_.checkNumber() + 1) + ">NTP port " + options_.port + " as --port asks");
    engine_.configure(options_.portGiven ? options_.port : session_.ntpPort, options_.timeOutSeconds);
    engine_.start(ntpHost_);
}

void TimeCheck::engineEnded(const check::Failure& failure)
{
    // An authenticated NTSN: one fresh exchange, then the same check again.
    if (nts_.needsKeyExchange() && !freshExchangeUsed_) {
        freshExchangeUsed_ = true;
        session_ = {};
        engine_.setCheckNumber(engine_.checkNumber() - 1);
        startKeyExchange();
        return;
    }
    presentFailure(failure);
}

std::string TimeCheck::serverShown() const
{
    const std::string address = transport_->peerAddress();
    return address.empty() ? options_.host : address;
}

void TimeCheck::presentFailure(const check::Failure& failure)
{
    if (!failure.detail.empty())
        io_.detail(failure.detail);
    if (options_.json)
        io_.result(FailureJson(protocolName(), serverShown(), failure.reason, failure.detail));
    if (io_.record)
        io_.record(history::RecordOfFailure(asked(), failure.reason));
    finish(Outcome::Failed);
}

void TimeCheck::present(const check::CheckResult& result)
{
    const check::Answer answer = check::AnswerOf(result, {io_.utcNowNanoseconds(), io_.utcOffsetSeconds()});
    const std::string closing = std::to_string(engine_.checkNumber()) + ">Disconnected.";
    if (options_.json) {
        io_.log(closing);
        io_.result(options_.ntp || options_.nts ? NtpResultJson(result, serverShown(), answer.caption)
                                                : Rfc868ResultJson(result, serverShown(), options_.udp, answer));
    } else if (options_.ntp || options_.nts) {
        for (const std::string& line : NtpResultLines(result, answer.caption))
            io_.result(line);
        io_.log(closing);
    } else {
        io_.result("Server time: " + io_.formatTime(answer.serverSecondsOfDay));
        io_.result("Local time:  " + io_.formatTime(SecondsOfDay(answer.localNowNs)));
        io_.result("Correction:  " + answer.caption);
        io_.log(closing);
    }
    if (io_.record)
        io_.record(history::RecordOfAnswer(asked(), result, answer));
    finish(Outcome::Completed);
}

history::CheckAsked TimeCheck::asked() const
{
    return {io_.utcNowNanoseconds() / 1'000'000, options_.host, engine_.addressAsked(),
            options_.nts ? "nts" : options_.ntp ? "ntp" : "rfc868"};
}

void TimeCheck::finish(Outcome outcome)
{
    if (outcome_ != Outcome::Running)
        return;
    outcome_ = outcome;
    if (finished_)
        finished_(outcome);
}

} // namespace cli
