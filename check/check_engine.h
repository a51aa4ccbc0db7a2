#pragma once
// One time check over a transport, whatever the protocol: look-up, connect,
// the answer's time-out, retries with ">Attempt #N", Stop, and notices that
// arrive after the check has ended. Progress goes out as events; the window
// and the terminal only present them. Never sets the clock.

#include "check/check_protocol.h"
#include "check/scheduler.h"
#include "check/transport.h"

#include <cstdint>
#include <functional>
#include <string>

namespace check {

class KissStore;

enum class Outcome { Completed, Failed, Stopped };

// Why a check failed, as data: the front ends show it, never parse it.
struct Failure {
    std::string reason;   // the check's last line without its number and ">"
    std::string detail;   // what lies behind it, when the line does not say (a look-up's error)
};

struct CheckEvents {
    std::function<void(int checkNumber, const std::string& line)> log;
    std::function<void(int amount)> gauge;
    std::function<void(const std::string& tip)> tip;
    // The answer is in and the connection closed; the front end ends the check.
    std::function<void(const CheckResult& result)> result;
    // A failed or stopped check, after its last line.
    std::function<void(Outcome outcome, const Failure& failure)> ended;
    // The attempt's connection is closed: the check is over, or about to be retried.
    std::function<void()> attemptOver;
    // The server closed the connection of the running check.
    std::function<void()> peerClosed;
    // Starts the next attempt after a time-out; unset: the engine's start().
    std::function<void()> nextAttempt;
};

class CheckEngine : private TransportReceiver {
public:
    // The transport, the scheduler and the protocol are the front end's and
    // outlive the engine.
    CheckEngine(Transport& transport, Scheduler& scheduler, CheckProtocol& protocol, CheckEvents events = {});
    ~CheckEngine() override;
    CheckEngine(const CheckEngine&) = delete;
    CheckEngine& operator=(const CheckEngine&) = delete;

    void setEvents(CheckEvents events) { events_ = std::move(events); }
    // For the next check; the running one keeps its own.
    void setProtocol(CheckProtocol& protocol)
    {
        if (!running_)
            protocol_ = &protocol;
    }
    void configure(const std::string& port, int timeOutSeconds);
    int timeOutSeconds() const { return timeOutSeconds_; }
    // Servers that sent kiss-o'-death are remembered there; `nowUnixSeconds` reads the wall clock.
    void rememberKissesIn(KissStore* store, std::function<std::int64_t()> nowUnixSeconds);
    // Answers before this moment are refused (the program cannot predate its own build).
    void refuseServerTimesBefore(std::int64_t unixSeconds) { earliestServerTime_ = unixSeconds; }

    // Opens a new attempt on host (cut to 255 characters).
    void start(const std::string& host);
    // Ends the running check with `line`; nothing when none runs. A retry
    // waiting for its pause is called off as well.
    void stop(const std::string& line);
    bool running() const { return running_; }
    // The host as given to the latest start(), and the address it was asked at.
    const std::string& host() const { return host_; }
    std::string peerAddress() const { return transport_.peerAddress(); }
    CheckProtocol& protocol() { return *protocol_; }

    // The numbers the log and the retries run on.
    int checkNumber() const { return checkNo_; }
    int attemptNumber() const { return attemptNo_; }
    int retriesLeft() const { return retriesLeft_; }
    void setRetriesLeft(int retries) { retriesLeft_ = retries; }
    // The run of retries is over: the next time-out starts a fresh one.
    void endRetryRun(int retries);
    // For a front end that numbers lines of its own before any check (tests too).
    void setCheckNumber(int number) { checkNo_ = number; }

private:
    void transportLookingUp() override;
    void transportConnecting(const std::string& address) override;
    void transportConnected() override;
    void transportFailed(const std::string& reason, bool openFailed) override;
    void transportReadable() override;
    void transportClosed() override;
    void transportTimedOut() override;

    bool heldBackByKiss();
    void sendRequest();
    // Reads what waits; false when the check ended meanwhile.
    void collect();
    void handle(const Reading& reading);
    void answer(const CheckResult& result);
    // Another sample is wanted: the next request goes out after waitMs.
    void askAgainLater(int waitMs);
    void retryAfterPause();
    // Ends the check with the answers the protocol already has, if any:
    // logs `why` and which result is kept. False: nothing to keep.
    bool settleForResultSoFar(const std::string& why);
    void fail(const std::string& line, const std::string& tip, int gaugeStep, const std::string& detail = {});
    void resetcon(const std::string& line);
    void log(const std::string& line);
    void emitGauge(int amount);
    void emitTip(const std::string& tip);
    void end(Outcome outcome, const Failure& failure = {});

    Transport& transport_;
    Scheduler& scheduler_;
    CheckProtocol* protocol_;
    CheckEvents events_;
    KissStore* kissStore_ = nullptr;
    std::function<std::int64_t()> nowUnixSeconds_;
    std::int64_t earliestServerTime_ = 0;
    std::string host_;
    std::string port_;
    int timeOutSeconds_ = 10;
    int checkNo_ = 0;
    int attemptNo_ = 1;
    int retriesLeft_ = 0;
    bool running_ = false;          // an attempt is under way and may still read
    bool readingLogged_ = false;    // ">Reading time" is logged once per request
    std::string lastLine_;          // the reason a failure carries
};

} // namespace check
