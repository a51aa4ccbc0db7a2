#include "cli/time_check.h"

#include "cli/check_report.h"
#include "net/timestamp.h"

namespace cli {
namespace {
constexpr int kSecondsPerDay = 86400;
constexpr int kSecondsPerMinute = 60;

int FloorModulo(std::int64_t value, int divisor)
{
    const int rest = static_cast<int>(value % divisor);
    return rest < 0 ? rest + divisor : rest;
}
} // namespace

TimeCheck::TimeCheck(TimeCheckOptions options, TimeCheckIo io, platform::PreciseClock* clock)
    : options_(std::move(options)),
      io_(std::move(io)),
      rfc868_(options_.udp ? check::SocketKind::Datagram : check::SocketKind::Stream),
      ntp_(clock ? *clock : systemClock_, options_.samples),
      engine_(cli, options_.ntp ? static_cast<check::CheckProtocol&>(ntp_) : rfc868_, check::CheckEvents{})
{
}

void TimeCheck::start(std::function<void(Outcome)> finished)
{
    finished_ = std::move(finished);
    check::CheckEvents events;
    events.log = [this](int number, const std::string& line) {
        lastLine_ = line;
        io_.log(std::to_string(number) + line);
    };
    events.result = [this](const check::CheckResult& result) {
        if (options_.ntp)
            presentNtp(result);
        else
            present(result);
    };
    events.ended = [this](check::Outcome) {
        if (options_.json) {
            // The log's line without its number and '>', as the reason.
            const std::string reason = lastLine_.empty() || lastLine_[0] != '>' ? lastLine_ : lastLine_.substr(1);
            const std::string server = cli.IPAddress().empty() ? options_.host : cli.IPAddress();
            io_.result(FailureJson(options_.ntp ? "ntp" : "time", server, reason));
        }
        finish(Outcome::Failed);
    };
    events.detail = [this](const std::string& reason) { io_.detail(reason); };
    engine_.setEvents(std::move(events));
    engine_.configure(options_.port, options_.timeOutSeconds);
    engine_.retriesLeft = options_.retries;
    engine_.start(options_.host);
}

void TimeCheck::present(const check::CheckResult& result)
{
    const std::int64_t localServerSeconds = result.serverUnixSeconds - std::int64_t{io_.biasMinutes()} * kSecondsPerMinute;
    const int server = FloorModulo(localServerSeconds, kSecondsPerDay);
    const int local = io_.localSecondsOfDay();
    const Correction correction = CorrectionBetween(server, local);
    if (options_.json) {
        io_.log(std::to_string(engine_.checkNo) + ">Disconnected.");
        io_.result(Rfc868ResultJson(result, cli.IPAddress(), options_.udp, correction.shift(), correction.caption));
        finish(Outcome::Completed);
        return;
    }
    io_.result("Server time: " + io_.formatTime(server));
    io_.result("Local time:  " + io_.formatTime(local));
    io_.result("Correction:  " + correction.caption);
    io_.log(std::to_string(engine_.checkNo) + ">Disconnected.");
    finish(Outcome::Completed);
}

void TimeCheck::presentNtp(const check::CheckResult& result)
{
    if (options_.json) {
        io_.log(std::to_string(engine_.checkNo) + ">Disconnected.");
        io_.result(NtpResultJson(result, cli.IPAddress()));
    } else {
        for (const std::string& line : NtpResultLines(result))
            io_.result(line);
        io_.log(std::to_string(engine_.checkNo) + ">Disconnected.");
    }
    finish(Outcome::Completed);
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
