#pragma once
// One time check driven by a TClientSocket, with the window's numbered log
// lines, retries after a time-out, and the result in the window's words.
// Never sets the clock.

#include "net/client_socket.h"
#include "net/timestamp.h"

#include <functional>
#include <string>

namespace cli {

struct TimeCheckOptions {
    std::string host;
    std::string port = "time";
    int timeOutSeconds = 10;
    int retries = 3;
    bool udp = false;   // one empty datagram out, one four-byte datagram back
};

// Where the check's output goes, and how "now" is read (tests replace both).
struct TimeCheckIo {
    std::function<void(const std::string& line)> log;     // numbered log lines
    std::function<void(const std::string& line)> result;  // server, local time, correction
    std::function<void(const std::string& line)> detail;  // reasons behind a failure
    std::function<int()> localSecondsOfDay;
    std::function<int()> biasMinutes;   // UTC = local + bias, daylight included
    std::function<std::string(int secondsOfDay)> formatTime;
};

class TimeCheck {
public:
    enum class Outcome { Running, Completed, Failed };

    TimeCheck(TimeCheckOptions options, TimeCheckIo io);

    // Starts the first attempt; `finished` is called once, when the check ends.
    void start(std::function<void(Outcome)> finished);
    Outcome outcome() const { return outcome_; }
    TClientSocket& socket() { return cli; }

private:
    void btnConnectClick();
    void cliInfo(TSockCtrl* sender, TSockInfo icode, TSocketBase* socket);
    void cliConnect(TSockCtrl* sender, TSocketBase* socket);
    void cliRead(TSockCtrl* sender, TSocketBase* socket);
    void cliDisconnect(TSockCtrl* sender, TSocketBase* socket);
    void cliTimeOut(TSockCtrl* sender, TSocketBase* socket);
    void showtime();
    void collect(TSocketBase* socket);
    void resetcon(TSocketBase* socket, const std::string& message);
    void finish(Outcome outcome);
    void log(const std::string& message);

    TimeCheckOptions options_;
    TimeCheckIo io_;
    TClientSocket cli;
    std::function<void(Outcome)> finished_;
    Outcome outcome_ = Outcome::Running;
    bool running_ = false;   // an attempt is under way and may still read
    TimestampBytes rcvBuf{};
    int rcvCount = 0;
    int checkNo = 0;
    int attemptNo = 1;
    int retriesLeft = 0;
};

} // namespace cli
