// Several servers in the Time Server box, or a pool entry of the built-in
// lists: every address a source, all asked at once, and the clock set only
// by a majority's result, by the same rules as with one server.
#include "app/time_servers.h"
#include "app/view_form.h"

#include "check/network_transport.h"
#include "check/nts_source.h"
#include "platform/gui/screen_cursor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {
// Each name may bring four sources, each its own socket.
constexpr std::size_t kMaxServers = 16;
constexpr int kGaugeStepPerSource = 20;
} // namespace

bool TViewForm::startSeveralServers(const std::string& text)
{
    std::vector<std::string> servers = app::ServersInBox(text);
    // One server that is no pool is today's check, its addresses tried in turn.
    if (servers.empty() || (servers.size() == 1 && !app::IsPoolEntry(servers.front())))
        return false;
    if (servers.size() > kMaxServers)
        servers.resize(kMaxServers);

    const bool nts = chosenProtocol() == app::TimeProtocol::Nts;
    const bool ntp = nts || chosenProtocol() == app::TimeProtocol::Ntp;
    check::MultiSourceSetup setup;
    setup.port = ntp ? services_.ntpPort : services_.timePort;
    setup.timeOutSeconds = cli.TimeOut();
    setup.retries = chkRetry->isChecked() ? retriesAllowed() : 0;
    setup.kissStore = services_.kissStore;
    setup.nowUnixSeconds = [] { return QDateTime::currentSecsSinceEpoch(); };
    setup.earliestServerTime = services_.earliestServerTime;
    setup.localNow = [this] { return localReading(); };
    check::MultiSourceEvents events;
    events.sourceEnded = [this](const check::SourceEnd& source) {
        logNumbered(source.number, check::SourceEndLine(source));
        stepGauge(kGaugeStepPerSource);
    };
    events.finished = [this](const check::MultiSourceResult& result) { severalServersEnded(result); };
    check::MultiSourceCheck::TransportFactory transports = services_.transports;
    if (!transports)
        transports = [] { return check::MakeNetworkTransport(); };
    platform::PreciseClock& clock = services_.preciseClock ? *services_.preciseClock : systemPreciseClock_;
    auto protocols = [ntp, &clock]() -> std::unique_ptr<check::CheckProtocol> {
        if (ntp)
            return std::make_unique<check::NtpProtocol>(clock, 1);
        return std::make_unique<check::Rfc868Protocol>(check::SocketKind::Stream);
    };
    // The last check's sources are over (Connect was enabled): they may go.
    severalCheck_ = std::make_unique<check::MultiSourceCheck>(severalScheduler_, std::move(transports),
                                                              std::move(protocols), std::move(setup), std::move(events));
    // Authenticated: every source its own key exchange, or the keys and cookies
    // its last check left, and nothing else asked.
    if (nts) {
        const check::KeyExchangeSettings keyExchange{{}, services_.ntsPort, services_.ntsCaFile, cli.TimeOut(), {}};
        severalCheck_->prepareSourcesWith([this, &clock, keyExchange] {
            return std::make_unique<check::NtsSource>(clock, aead_, 1, keyExchange, std::string(), &ntsSessions_);
        });
    }
    severalRunning_ = true;
    severalStopped_ = false;
    setToolTip("Reading time..");
    const bool onePool = servers.size() == 1;
    severalAddresses_.start(servers, ntp ? check::SocketKind::Datagram : check::SocketKind::Stream,
                            [this, onePool, nts, text](std::vector<check::Source> sources) {
                                // A pool that gave one address, or none, is one server after all:
                                // today's check, its log and its errors.
                                if (onePool && sources.size() == 1) {
                                    severalRunning_ = false;
                                    if (nts)
                                        startNtsCheck(text);
                                    else
                                        checkEngine_->start(text);
                                    return;
                                }
                                severalCheck_->start(sources);
                            });
    return true;
}

void TViewForm::stopSeveralServers()
{
    if (!severalRunning_)
        return;
    severalStopped_ = true;
    severalAddresses_.cancel();
    if (severalCheck_->running()) {
        severalCheck_->stop(">Disconnected.");   // ends through severalServersEnded
        return;
    }
    // Still looking the names up: nothing was asked.
    severalRunning_ = false;
    logNumbered(1, ">Disconnected.");
    setIdle();
}

void TViewForm::severalServersEnded(const check::MultiSourceResult& result)
{
    severalRunning_ = false;
    setIdle();
    if (severalStopped_)
        return;
    for (std::size_t i = 0; i < result.sources.size(); ++i)
        logNumbered(result.sources[i].number, ">" + check::SourceLabel(result.sources[i]) + ": " +
                                                  check::VerdictText(result.selection.verdicts[i]));
    const check::SourceEnd* selected = result.selected();
    const app::TimeProtocol protocol = chosenProtocol();
    history::CheckAsked asked{QDateTime::currentMSecsSinceEpoch(), ComboServer->currentText().toStdString(), {},
                              protocol == app::TimeProtocol::Nts   ? "nts"
                              : protocol == app::TimeProtocol::Ntp ? "ntp"
                                                                   : "rfc868"};
    const history::CheckRecord record = history::RecordOfSeveral(asked, result);
    if (!record.completed)
        recorder_->failed(asked, record.failureReason);
    else
        recorder_->answered({asked.endedUnixMs, asked.server, record.address, asked.protocol}, *selected->result,
                            *result.combined, chkAdjust->isChecked() && result.combined->step);
    if (!result.combined || !selected) {
        // Never set on a minority's word, nor on a guess between two sets.
        const std::string why = check::SeveralSourcesFailure(result);
        logNumbered(static_cast<int>(result.sources.size()), ">" + why + ".");
        Correction->setText(QString::fromStdString(why));
        setToolTip(why);
        return;
    }
    // The closing lines carry the number of the source the result is.
    checkEngine_->setCheckNumber(selected->number);
    check::Answer answer = *result.combined;
    if (selected->result->authenticated) {
        logNumbered(selected->number, ">Time authenticated (NTS)");
        answer.trayTip += " (authenticated)";
    }
    presentAnswer(answer);
}
