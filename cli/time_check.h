#pragma once
// The terminal's time check: the check engine's log printed as numbered
// lines, and the result in the window's words. Never sets the clock.

#include "check/check_engine.h"
#include "check/rfc868_protocol.h"
#include "net/client_socket.h"

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
    void present(const check::CheckResult& result);
    void finish(Outcome outcome);

    TimeCheckOptions options_;
    TimeCheckIo io_;
    TClientSocket cli;
    check::Rfc868Protocol protocol_;
    check::CheckEngine engine_;
    std::function<void(Outcome)> finished_;
    Outcome outcome_ = Outcome::Running;
};

} // namespace cli
