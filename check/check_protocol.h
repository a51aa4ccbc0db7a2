#pragma once
// What one time protocol does over the socket layer: the socket kind it needs,
// the request it sends once the socket can carry it, and how it reads what
// arrives. The engine around it owns the look-up, the time-out, the retries
// and the log; a protocol only turns bytes into a time or a failure.

#include "check/transport.h"

#include <cstdint>
#include <optional>
#include <string>

namespace check {

using SocketKind = TransportKind;

// What an NTP check measured: the best sample and what the server says of itself.
struct NtpReading {
    std::int64_t offsetNs = 0;   // server minus PC; positive when the PC is behind
    std::int64_t delayNs = 0;    // round trip less the server's own time
    int stratum = 0;
    std::string referenceId;     // "GPS", "PPS" or the upstream's address
    int leap = 0;                // 0..2 (3 is refused)
    int samples = 0;             // accepted samples the best was chosen from
    std::int64_t rootDistanceNs = 0;   // root delay / 2 + root dispersion: the server's own bound
};

// The server's time as the protocol can give it.
struct CheckResult {
    std::int64_t serverUnixSeconds = 0;
    std::int64_t serverUnixNanoseconds = 0;
    bool subSecond = false;   // false: the nanoseconds are whole seconds
    std::optional<NtpReading> ntp;   // set by an NTP check
    bool authenticated = false;      // every sample came with a verified authenticator
};

struct Reading {
    // SampleTaken: an answer was accepted and another is wanted; the engine
    // waits waitMs, then sends the protocol's next request.
    enum class Kind { NeedMore, Done, Failed, SampleTaken };
    Kind kind = Kind::NeedMore;
    std::string line;   // the log line (after the check's number); only Failed must have one
    std::string tip;    // Failed: the tray tip, empty for none
    CheckResult result; // Done
    int waitMs = 0;     // SampleTaken
    // Failed by a kiss-o'-death that forbids asking again ("DENY", "RSTR").
    std::string kissCode;

    static Reading needMore() { return {}; }
    static Reading done(const CheckResult& result) { return {Kind::Done, {}, {}, result, 0, {}}; }
    static Reading failed(std::string line, std::string tip = {})
    {
        return {Kind::Failed, std::move(line), std::move(tip), {}, 0, {}};
    }
    static Reading sampleTaken(int waitMs, std::string line = {})
    {
        return {Kind::SampleTaken, std::move(line), {}, {}, waitMs, {}};
    }
};

class CheckProtocol {
public:
    virtual ~CheckProtocol() = default;
    virtual SocketKind socketKind() const = 0;
    // Forgets what an earlier attempt received.
    virtual void beginAttempt() = 0;
    // Bytes to send once connected (stream) or opened (datagram); none: nothing.
    virtual std::optional<std::string> request() = 0;
    // What one read brought (never Status::Nothing or Error).
    virtual Reading consume(const Received& received) = 0;
    // Part of an answer arrived: a close or time-out now is a broken answer.
    virtual bool partial() const = 0;
    // The log line for an answer broken off.
    virtual std::string brokenAnswerLine() const = 0;
    // What the check can still report when the server falls silent after
    // some answers were taken; none: the time-out fails or retries as usual.
    virtual std::optional<CheckResult> resultSoFar() const { return std::nullopt; }
    // The pause before the retry that follows the given time-out (1 for the
    // first): none for a protocol whose servers expect none.
    virtual int retryPauseMs(int /*timeOutsSoFar*/) const { return 0; }
    // Kiss-o'-death is remembered between checks for this protocol's servers.
    virtual bool heedsKissOfDeath() const { return false; }
};

} // namespace check
