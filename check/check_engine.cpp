#include "check/check_engine.h"

#include "check/kiss_store.h"
#include "check/server_time_floor.h"
#include "platform/messages.h"

namespace check {
namespace {
constexpr int kGaugeStepInfo = 15;
constexpr int kGaugeStep = 20;
// Datagrams read in one go: a flood cannot hold the event loop.
constexpr int kReadsPerNotice = 64;
// The build's own clock may be off, and a server hours behind on the day of
// the build is slow, not lying: the floor is two days before the build.
constexpr std::int64_t kBuildDateMarginSeconds = 2 * 86400;

std::string withoutMark(const std::string& line)
{
    return !line.empty() && line[0] == '>' ? line.substr(1) : line;
}
} // namespace

CheckEngine::CheckEngine(Transport& transport, Scheduler& scheduler, CheckProtocol& protocol, CheckEvents events)
    : transport_(transport),
      scheduler_(scheduler),
      protocol_(&protocol),
      events_(std::move(events)),
      earliestServerTime_(BuildUnixSeconds() - kBuildDateMarginSeconds)
{
    transport_.setReceiver(this);
}

CheckEngine::~CheckEngine()
{
    scheduler_.cancelAll();
    transport_.setReceiver(nullptr);
    transport_.close();
}

void CheckEngine::configure(const std::string& port, int timeOutSeconds)
{
    port_ = port;
    timeOutSeconds_ = timeOutSeconds;
}

void CheckEngine::rememberKissesIn(KissStore* store, std::function<std::int64_t()> nowUnixSeconds)
{
    kissStore_ = store;
    nowUnixSeconds_ = std::move(nowUnixSeconds);
}

void CheckEngine::endRetryRun(int retries)
{
    attemptNo_ = 1;
    retriesLeft_ = retries;
}

void CheckEngine::start(const std::string& host)
{
    scheduler_.cancelAll();   // a retry waiting for its pause gives way to this check
    protocol_->beginAttempt();
    host_ = host.substr(0, 255);
    addressAsked_.clear();
    ++checkNo_;
    lastLine_.clear();
    if (heldBackByKiss())
        return;
    running_ = true;
    readingLogged_ = false;
    transport_.open({host_, port_, protocol_->socketKind(), timeOutSeconds_});
}

// A server that refused us is not asked again until its hold is over: the
// check says so at once and sends nothing.
bool CheckEngine::heldBackByKiss()
{
    if (!kissStore_ || !protocol_->heedsKissOfDeath())
        return false;
    const std::optional<std::string> held = kissStore_->heldBack(host_, port_, nowUnixSeconds_());
    if (!held)
        return false;
    log(">Error: " + *held + ".");
    emitTip("Error: server refused access");
    end(Outcome::Failed, {*held, {}});
    return true;
}

void CheckEngine::stop(const std::string& line)
{
    scheduler_.cancelAll();
    if (!running_)
        return;
    resetcon(line);
    end(Outcome::Stopped, {withoutMark(line), {}});
}

void CheckEngine::transportLookingUp()
{
    // After the check's ending line (Stop, time-out) nothing more is logged.
    if (!running_)
        return;
    log(">Looking up host");
    emitGauge(kGaugeStepInfo);
}

void CheckEngine::transportConnecting(const std::string& address)
{
    if (!running_)
        return;
    addressAsked_ = address;
    log(">Connecting to " + address);
    emitGauge(kGaugeStepInfo);
}

void CheckEngine::transportConnected()
{
    if (!running_)
        return;
    if (protocol_->socketKind() == SocketKind::Datagram) {
        // Ready at once, and again on the name's next address: ask there.
        protocol_->beginAttempt();
        sendRequest();
        if (running_)
            transport_.armTimeOut();
        return;
    }
    protocol_->beginAttempt();
    emitGauge(kGaugeStepInfo);
    log(">Connected...");
    emitGauge(kGaugeStep);
    emitTip("Connected...");
    sendRequest();
    // The answer must come within the time-out too, or a silent server
    // would keep the check running for ever.
    if (running_)
        transport_.armTimeOut();
}

void CheckEngine::transportFailed(const std::string& reason, bool openFailed)
{
    // The program is quitting: a look-up's failure adds nothing.
    if (!running_ || platform::ApplicationTerminating())
        return;
    if (openFailed) {
        resetcon(">Error: unable to create socket.");
        emitTip("Error: unable to create socket.");
        end(Outcome::Failed, {lastLine_, reason});
        return;
    }
    // Refused or unreachable at every address: the check ends here rather than waiting.
    fail(">" + reason, reason, kGaugeStep);
}

void CheckEngine::transportReadable()
{
    if (!running_)
        return;   // the check is ending: late bytes stay unread
    if (!readingLogged_) {
        readingLogged_ = true;
        log(">Reading time");
        emitGauge(kGaugeStep);
        emitTip("Reading time..");
    }
    collect();
}

void CheckEngine::collect()
{
    for (int reads = 0; reads < kReadsPerNotice && running_; ++reads) {
        const Received received = transport_.receive();
        if (received.status == Received::Status::Nothing)
            return;
        if (received.status == Received::Status::Error) {
            // A datagram's refusal comes back as a failed read; a server gone
            // after some answers still leaves those answers.
            if (!settleForResultSoFar(">" + received.error))
                fail(">" + received.error, received.error, 0);
            return;
        }
        if (protocol_->socketKind() == SocketKind::Stream)
            emitGauge(kGaugeStepInfo);
        handle(protocol_->consume(received));
    }
}

void CheckEngine::handle(const Reading& reading)
{
    switch (reading.kind) {
    case Reading::Kind::NeedMore:
        if (!reading.line.empty())
            log(reading.line);
        return;
    case Reading::Kind::SampleTaken:
        if (!reading.line.empty())
            log(reading.line);
        askAgainLater(reading.waitMs);
        return;
    case Reading::Kind::Done:
        if (!reading.line.empty())
            log(reading.line);
        answer(reading.result);
        return;
    case Reading::Kind::Failed:
        if (!reading.kissCode.empty() && kissStore_)
            kissStore_->remember(host_, port_, reading.kissCode, nowUnixSeconds_());
        fail(reading.line, reading.tip, 0);
        return;
    }
}

// The last gate before the front end sees a time: one from before this
// program existed is a broken or lying server, whatever the protocol.
void CheckEngine::answer(const CheckResult& result)
{
    if (const std::optional<std::string> refusal = RefusalOfServerTime(result.serverUnixSeconds, earliestServerTime_)) {
        fail(">Error: " + *refusal + ".", "Error: server time refused", 0);
        return;
    }
    resetcon("");
    attemptNo_ = 1;   // answered: the run of retries is over
    if (events_.result)
        events_.result(result);
}

bool CheckEngine::settleForResultSoFar(const std::string& why)
{
    const std::optional<CheckResult> soFar = protocol_->resultSoFar();
    if (!soFar)
        return false;
    const int taken = soFar->ntp ? soFar->ntp->samples : 1;
    log(why + ": keeping the best of " + std::to_string(taken) + (taken == 1 ? " sample" : " samples"));
    answer(*soFar);
    return true;
}

void CheckEngine::askAgainLater(int waitMs)
{
    // The wait is the protocol's, not the server's: no time-out runs during it.
    transport_.disarmTimeOut();
    scheduler_.after(waitMs, [this, check = checkNo_] {
        // Stopped, failed or replaced while waiting: this request is no longer wanted.
        if (!running_ || check != checkNo_ || !transport_.isOpen())
            return;
        sendRequest();
        if (running_)
            transport_.armTimeOut();
    });
}

void CheckEngine::sendRequest()
{
    const std::optional<std::string> request = protocol_->request();
    readingLogged_ = false;
    if (!request)
        return;
    std::string error;
    if (!transport_.send(*request, error))
        fail(">" + error, error, 0);
}

void CheckEngine::transportClosed()
{
    if (!running_)
        return;
    collect();   // bytes that came with the close; this may end the check
    if (running_) {
        if (protocol_->partial())
            fail(protocol_->brokenAnswerLine(), "", 0);
        else
            fail(">Connection closed by host.", "Connection closed by host.", 0);
    }
    if (events_.peerClosed)
        events_.peerClosed();
}

void CheckEngine::transportTimedOut()
{
    if (!running_)
        return;
    // Answers already taken are worth more than a new attempt from scratch.
    if (settleForResultSoFar(">No answer to the next request"))
        return;
    if (protocol_->partial()) {
        fail(protocol_->brokenAnswerLine(), "", 0);
        return;
    }
    resetcon(">Connection timed out...");
    emitTip("Connection timed out...");
    emitGauge(kGaugeStep);
    if (retriesLeft_ > 0) {
        ++attemptNo_;
        log(">Attempt #" + std::to_string(attemptNo_));
        --retriesLeft_;
        retryAfterPause();
        return;
    }
    end(Outcome::Failed, {lastLine_, {}});
}

// Never nested: the time-out may fire inside the attempt that is ending,
// which must unwind before the next one opens.
void CheckEngine::retryAfterPause()
{
    const int pauseMs = protocol_->retryPauseMs(attemptNo_ - 1);
    if (pauseMs > 0)
        log(">Next attempt in " + std::to_string((pauseMs + 999) / 1000) + " s");
    scheduler_.after(pauseMs, [this, check = checkNo_] {
        // A check started meanwhile (Connect, Stop) has taken over.
        if (running_ || check != checkNo_)
            return;
        if (events_.nextAttempt)
            events_.nextAttempt();
        else
            start(host_);
    });
}

void CheckEngine::fail(const std::string& line, const std::string& tip, int gaugeStep, const std::string& detail)
{
    resetcon(line);
    if (!tip.empty())
        emitTip(tip);
    if (gaugeStep > 0)
        emitGauge(gaugeStep);
    end(Outcome::Failed, {lastLine_, detail});
}

// Ends the attempt: no more reading, the time-out off, the connection
// closed, then `line` logged when there is one.
void CheckEngine::resetcon(const std::string& line)
{
    running_ = false;
    transport_.disarmTimeOut();
    transport_.close();
    if (!line.empty())
        log(line);
    if (events_.attemptOver)
        events_.attemptOver();
}

void CheckEngine::log(const std::string& line)
{
    lastLine_ = withoutMark(line);
    if (events_.log)
        events_.log(checkNo_, line);
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

void CheckEngine::end(Outcome outcome, const Failure& failure)
{
    if (outcome == Outcome::Failed)
        attemptNo_ = 1;   // the run of retries is over: the next time-out starts a fresh one
    if (events_.ended)
        events_.ended(outcome, failure);
}

} // namespace check
