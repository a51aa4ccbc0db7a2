#include "check/check_engine.h"

#include "net/datagram_socket.h"
#include "net/sock_error.h"
#include "platform/messages.h"

#include <QTimer>

namespace check {
namespace {
constexpr int kGaugeStepInfo = 15;
constexpr int kGaugeStep = 20;
} // namespace

CheckEngine::CheckEngine(TClientSocket& socket, CheckProtocol& protocol, CheckEvents events)
    : cli(socket), protocol_(&protocol), events_(std::move(events))
{
    cli.OnInfo = [this](TSockCtrl* s, TSockInfo code, TSocketBase* socket) { cliInfo(s, code, socket); };
    cli.OnConnect = [this](TSockCtrl* s, TSocketBase* socket) { cliConnect(s, socket); };
    cli.OnRead = [this](TSockCtrl* s, TSocketBase* socket) { cliRead(s, socket); };
    cli.OnDisconnect = [this](TSockCtrl* s, TSocketBase* socket) { cliDisconnect(s, socket); };
    cli.OnTimeOut = [this](TSockCtrl* s, TSocketBase* socket) { cliTimeOut(s, socket); };
}

CheckEngine::~CheckEngine()
{
    cli.ClearHandlers();
}

void CheckEngine::configure(const std::string& port, int timeOutSeconds)
{
    cli.SetProtocol(protocol_->socketKind() == SocketKind::Datagram ? "udp" : "tcp");
    cli.SetPort(port);
    cli.SetTimeOut(timeOutSeconds);
}

void CheckEngine::start(const std::string& host)
{
    protocol_->beginAttempt();
    host_ = host.substr(0, 255);
    cli.SetAddress(host_);
    ++checkNo;
    running_ = true;
    const bool datagram = protocol_->socketKind() == SocketKind::Datagram;
    try {
        if (datagram)
            cli.Open(SocketClassOf<TDatagramSocket>);
        else
            cli.Open(SocketClassOf<TStreamSocket>);
        // A datagram socket is ready at once: ask now, and wait no longer than allowed.
        if (datagram && running_) {
            sendRequest(*cli.CurrentSocket());
            cli.ArmTimeOut();
        }
    } catch (const std::exception& error) {
        // A time-out or Stop during the look-up has already ended this check
        // (and maybe posted the next), or the program is quitting: the
        // look-up's own failure adds nothing.
        if (!running_ || platform::ApplicationTerminating()) {
            running_ = false;
            return;
        }
        running_ = false;
        log(">Error: unable to create socket.");
        emitTip("Error: unable to create socket.");
        if (events_.detail)
            events_.detail(error.what());
        end(Outcome::Failed);
        return;
    }
    // Ended while the look-up waited, yet the socket was opened: drop it.
    if (!running_ && cli.CurrentSocket() && cli.CurrentSocket()->Handle != ws::INVALID_SOCKET) {
        SocketInUse inUse(cli.CurrentSocket());
        cli.CurrentSocket()->Close();
    }
}

void CheckEngine::stop(const std::string& line)
{
    if (!running_)
        return;
    resetcon(cli.CurrentSocket(), line);
    end(Outcome::Stopped);
}

void CheckEngine::cliInfo(TSockCtrl*, TSockInfo code, TSocketBase*)
{
    // After the check's ending line (Stop, time-out) nothing more is logged.
    if (!running_)
        return;
    if (code == siLookUp)
        log(">Looking up host");
    else if (code == siConnect)
        log(">Connecting to " + cli.IPAddress());
    emitGauge(kGaugeStepInfo);
}

void CheckEngine::cliConnect(TSockCtrl*, TSocketBase* socket)
{
    // A datagram socket is connected at once: nothing to report.
    if (!running_ || protocol_->socketKind() == SocketKind::Datagram)
        return;
    protocol_->beginAttempt();
    if (socket->LastError != 0) {
        // Refused or unreachable: the check ends here rather than waiting.
        const std::string reason = SocketErrorMessage(socket->LastError, ctxConnecting);
        fail(socket, ">" + reason, reason, kGaugeStep);
        return;
    }
    try {
        log(">Connected...");
        emitGauge(kGaugeStep);
        emitTip("Connected...");
        sendRequest(*socket);
        // The answer must come within the time-out too, or a silent server
        // would keep the check running for ever.
        cli.ArmTimeOut();
    } catch (const ESockError&) {
        fail(socket, ">Connection closed by host.", "Connection closed by host.", kGaugeStep);
    }
}

void CheckEngine::cliRead(TSockCtrl*, TSocketBase* socket)
{
    if (!running_ || !socket->IsConnected())
        return;   // the check is ending: late bytes stay unread
    log(">Reading time");
    emitGauge(kGaugeStep);
    emitTip("Reading time..");
    collect(socket);
}

void CheckEngine::collect(TSocketBase* socket)
{
    Reading reading;
    try {
        reading = protocol_->consume(*socket);
    } catch (const ESockError& error) {
        // A datagram's refusal comes back as a failed read; a server gone
        // after some answers still leaves those answers.
        if (!settleForResultSoFar(socket, std::string(">") + error.what()))
            fail(socket, std::string(">") + error.what(), error.what(), 0);
        return;
    }
    switch (reading.kind) {
    case Reading::Kind::NeedMore:
        if (!reading.line.empty())
            log(reading.line);
        return;
    case Reading::Kind::SampleTaken:
        if (!reading.line.empty())
            log(reading.line);
        askAgainLater(socket, reading.waitMs);
        return;
    case Reading::Kind::Done:
        resetcon(socket, reading.line);
        if (events_.result)
            events_.result(reading.result);
        return;
    case Reading::Kind::Failed:
        fail(socket, reading.line, reading.tip, 0);
        return;
    }
}

bool CheckEngine::settleForResultSoFar(TSocketBase* socket, const std::string& why)
{
    const std::optional<CheckResult> soFar = protocol_->resultSoFar();
    if (!soFar)
        return false;
    const int taken = soFar->ntp ? soFar->ntp->samples : 1;
    resetcon(socket, why + ": keeping the best of " + std::to_string(taken) + (taken == 1 ? " sample" : " samples"));
    if (events_.result)
        events_.result(*soFar);
    return true;
}

void CheckEngine::askAgainLater(TSocketBase* socket, int waitMs)
{
    // The wait is the protocol's, not the server's: no time-out runs during it.
    // A coarse timer may fire up to 5% early, and the spacing is a minimum.
    cli.DisarmTimeOut();
    QTimer::singleShot(waitMs, Qt::PreciseTimer, &retryContext_, [this, socket, check = checkNo] {
        // Stopped, failed or replaced while waiting: this request is no longer wanted.
        if (!running_ || check != checkNo || socket != cli.CurrentSocket() || !socket->IsConnected())
            return;
        try {
            sendRequest(*socket);
        } catch (const ESockError& error) {
            fail(socket, std::string(">") + error.what(), error.what(), 0);
            return;
        }
        cli.ArmTimeOut();
    });
}

void CheckEngine::cliDisconnect(TSockCtrl*, TSocketBase* socket)
{
    if (socket != cli.CurrentSocket())
        return;   // a socket of an earlier attempt
    if (running_ && socket->IsConnected())
        collect(socket);   // bytes that came with the close; this may end the check
    if (!running_) {
        resetcon(socket, "");
        attemptNo = 1;
        return;
    }
    if (protocol_->partial()) {
        fail(socket, protocol_->brokenAnswerLine(), "", 0);
        return;
    }
    fail(socket, ">Connection closed by host.", "Connection closed by host.", 0);
}

void CheckEngine::cliTimeOut(TSockCtrl*, TSocketBase* socket)
{
    if (!running_)
        return;
    // Answers already taken are worth more than a new attempt from scratch.
    if (settleForResultSoFar(socket, ">No answer to the next request"))
        return;
    if (protocol_->partial()) {
        fail(socket, protocol_->brokenAnswerLine(), "", 0);
        return;
    }
    resetcon(socket, ">Connection timed out...");
    emitTip("Connection timed out...");
    emitGauge(kGaugeStep);
    if (retriesLeft > 0) {
        ++attemptNo;
        log(">Attempt #" + std::to_string(attemptNo));
        --retriesLeft;
        // Posted, not nested: the time-out may fire inside the look-up of the
        // attempt that is ending, which must unwind before the next one opens.
        QTimer::singleShot(0, &retryContext_, [this] {
            if (events_.nextAttempt)
                events_.nextAttempt();
            else
                start(host_);
        });
        return;
    }
    end(Outcome::Failed);
}

void CheckEngine::sendRequest(TSocketBase& socket)
{
    protocol_->sending(socket);
    const std::optional<std::string> request = protocol_->request();
    if (request)
        socket.Write(request->data(), static_cast<int>(request->size()));
}

void CheckEngine::fail(TSocketBase* socket, const std::string& line, const std::string& tip, int gaugeStep)
{
    resetcon(socket, line);
    if (!tip.empty())
        emitTip(tip);
    if (gaugeStep > 0)
        emitGauge(gaugeStep);
    end(Outcome::Failed);
}

void CheckEngine::resetcon(TSocketBase* socket, const std::string& line)
{
    running_ = false;
    cli.DisarmTimeOut();
    if (socket && socket->Handle != ws::INVALID_SOCKET) {
        SocketInUse inUse(socket);
        socket->Close();
    }
    if (!line.empty())
        log(line);
    if (events_.attemptOver)
        events_.attemptOver();
}

void CheckEngine::log(const std::string& line)
{
    if (events_.log)
        events_.log(checkNo, line);
}

void CheckEngine::emitGauge(int amount)
{
    if (events_.gauge)
        events_.gauge(amount);
}

void CheckEngine::emitTip(const std::string& tip)
{
    if (events_.tip)
        events_.tip(tip);
}

void CheckEngine::end(Outcome outcome)
{
    if (outcome == Outcome::Failed)
        attemptNo = 1;   // the run of retries is over: the next time-out starts a fresh one
    if (events_.ended)
        events_.ended(outcome);
}

} // namespace check
