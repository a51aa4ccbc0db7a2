#pragma once
// One time check over a TClientSocket, whatever the protocol: look-up,
// connect, the answer's time-out, retries with ">Attempt #N", Stop, and
// notifications that arrive after the check has ended. Progress goes out as
// events; the window and the terminal only present them. Never sets the clock.

#include "check/check_protocol.h"
#include "net/client_socket.h"

#include <QObject>

#include <functional>
#include <string>

namespace check {

enum class Outcome { Completed, Failed, Stopped };

struct CheckEvents {
    std::function<void(int checkNumber, const std::string& line)> log;
    std::function<void(int amount)> gauge;
    std::function<void(const std::string& tip)> tip;
    // The answer is in and the socket closed; the front end ends the check.
    std::function<void(const CheckResult& result)> result;
    // A failed or stopped check, after its last line.
    std::function<void(Outcome outcome)> ended;
    // The attempt's socket is closed: the check is over, or about to be retried.
    std::function<void()> attemptOver;
    // Why no socket could be made (the log line says only that it could not).
    std::function<void(const std::string& reason)> detail;
    // Starts the next attempt after a time-out; unset: the engine's start().
    std::function<void()> nextAttempt;
};

class CheckEngine {
public:
    // The socket and the protocol are the front end's and outlive the engine;
    // the socket's handlers become the engine's.
    CheckEngine(TClientSocket& socket, CheckProtocol& protocol, CheckEvents events);
    // The socket may still report while it closes: not to this engine.
    ~CheckEngine();
    CheckEngine(const CheckEngine&) = delete;
    CheckEngine& operator=(const CheckEngine&) = delete;

    void setEvents(CheckEvents events) { events_ = std::move(events); }
    // For the next check; the running one keeps its own.
    void setProtocol(CheckProtocol& protocol)
    {
        if (!running_)
            protocol_ = &protocol;
    }
    // The protocol's transport ("tcp"/"udp") is set before the port, whose
    // service is looked up under it.
    void configure(const std::string& port, int timeOutSeconds);
    // Opens a new attempt on host (cut to 255 characters).
    void start(const std::string& host);
    // Ends the running check with `line`; nothing when none runs.
    void stop(const std::string& line);
    bool running() const { return running_; }
    // Ends the attempt: no more reading, the time-out off, the socket closed,
    // then `line` logged when there is one.
    void resetcon(TSocketBase* socket, const std::string& line);

    CheckProtocol& protocol() { return *protocol_; }
    TClientSocket& socket() { return cli; }

    // The handlers, public so a front end can wrap them.
    void cliInfo(TSockCtrl* sender, TSockInfo code, TSocketBase* socket);
    void cliConnect(TSockCtrl* sender, TSocketBase* socket);
    void cliRead(TSockCtrl* sender, TSocketBase* socket);
    void cliDisconnect(TSockCtrl* sender, TSocketBase* socket);
    void cliTimeOut(TSockCtrl* sender, TSocketBase* socket);

    int checkNo = 0;
    int attemptNo = 1;
    int retriesLeft = 0;

private:
    void sendRequest(TSocketBase& socket);
    void collect(TSocketBase* socket);
    // Another sample is wanted: the next request goes out after waitMs.
    void askAgainLater(TSocketBase* socket, int waitMs);
    // Ends the check with the answers the protocol already has, if any:
    // logs `why` and which result is kept. False: nothing to keep.
    bool settleForResultSoFar(TSocketBase* socket, const std::string& why);
    void fail(TSocketBase* socket, const std::string& line, const std::string& tip, int gaugeStep);
    void log(const std::string& line);
    void emitGauge(int amount);
    void emitTip(const std::string& tip);
    void end(Outcome outcome);

    TClientSocket& cli;
    CheckProtocol* protocol_;
    CheckEvents events_;
    std::string host_;
    bool running_ = false;   // an attempt is under way and may still read
    QObject retryContext_;   // a retry or next sample posted by the engine dies with it
};

} // namespace check
