#include "cli/multi_time_check.h"

#include "check/network_transport.h"
#include "check/nts_source.h"
#include "cli/multi_report.h"

#include <QDateTime>

namespace cli {

MultiTimeCheck::MultiTimeCheck(TimeCheckOptions options, std::vector<std::string> hosts, TimeCheckIo io,
                               MultiTimeCheckParts parts)
    : options_(std::move(options)),
      hosts_(std::move(hosts)),
      io_(std::move(io)),
      clock_(parts.clock ? *parts.clock : systemClock_)
{
    check::MultiSourceSetup setup;
    setup.port = options_.port;
    setup.timeOutSeconds = options_.timeOutSeconds;
    setup.retries = options_.retries;
    setup.kissStore = parts.kissStore;
    setup.nowUnixSeconds = [] { return QDateTime::currentSecsSinceEpoch(); };
    setup.localNow = [this] { return check::LocalReading{io_.utcNowNanoseconds(), io_.utcOffsetSeconds()}; };
    check::MultiSourceEvents events;
    events.sourceEnded = [this](const check::SourceEnd& source) { io_.log(std::to_string(source.number) + check::SourceEndLine(source)); };
    events.finished = [this](const check::MultiSourceResult& result) { present(result); };
    check::MultiSourceCheck::TransportFactory transports = parts.transports;
    if (!transports)
        transports = [] { return check::MakeNetworkTransport(); };
    const bool ntp = options_.ntp;
    const int samples = options_.samples;
    const check::SocketKind kind = options_.udp ? check::SocketKind::Datagram : check::SocketKind::Stream;
    auto protocols = [this, ntp, samples, kind]() -> std::unique_ptr<check::CheckProtocol> {
        if (ntp)
            return std::make_unique<check::NtpProtocol>(clock_, samples);
        return std::make_unique<check::Rfc868Protocol>(kind);
    };
    check_ = std::make_unique<check::MultiSourceCheck>(scheduler_, std::move(transports), std::move(protocols),
                                                       std::move(setup), std::move(events));
    if (options_.nts) {
        const check::KeyExchangeSettings keyExchange{{}, options_.ntsPort, options_.caFile, options_.timeOutSeconds, {}};
        const std::string ntpPort = options_.portGiven ? options_.port : std::string();
        check_->prepareSourcesWith([this, samples, keyExchange, ntpPort] {
            return std::make_unique<check::NtsSource>(clock_, aead_, samples, keyExchange, ntpPort);
        });
    }
}

MultiTimeCheck::~MultiTimeCheck() = default;

void MultiTimeCheck::start(std::function<void(TimeCheck::Outcome)> finished)
{
    finished_ = std::move(finished);
    const check::SocketKind kind =
        options_.ntp || options_.nts || options_.udp ? check::SocketKind::Datagram : check::SocketKind::Stream;
    addresses_.start(hosts_, kind, [this](std::vector<check::Source> sources) { check_->start(sources); });
}

void MultiTimeCheck::present(const check::MultiSourceResult& result)
{
    if (options_.json)
        io_.result(MultiResultJson(result, options_.ntp || options_.nts, options_.udp, options_.nts));
    else
        for (const std::string& line : MultiResultLines(result, options_.ntp || options_.nts, io_.formatTime))
            io_.result(line);
    if (io_.record) {
        std::string typed;
        for (const std::string& host : hosts_)
            typed += (typed.empty() ? "" : " ") + host;
        io_.record(history::RecordOfSeveral({io_.utcNowNanoseconds() / 1'000'000, typed, {},
                                             options_.nts ? "nts" : options_.ntp ? "ntp" : "rfc868"},
                                            result));
    }
    outcome_ = result.combined ? TimeCheck::Outcome::Completed : TimeCheck::Outcome::Failed;
    if (finished_)
        finished_(outcome_);
}

} // namespace cli
