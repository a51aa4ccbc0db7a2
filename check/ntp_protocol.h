#pragma once
// NTP (SNTPv4, RFC 4330 / RFC 5905) as a check protocol over a datagram
// socket: a mode-3 request with random transmit bits, replies checked by
// ntp::CheckReply, one or more samples at least two seconds apart, and the
// sample with the smallest delay as the result (CheckResult::ntp).

#include "check/check_protocol.h"
#include "net/ntp_packet.h"
#include "platform/precise_clock.h"

#include <vector>

namespace check {

class NtpProtocol : public CheckProtocol {
public:
    static constexpr int kMaxSamples = 8;
    static constexpr int kSampleSpacingMs = 2000;
    static constexpr int kFirstRetryPauseMs = 1000;
    static constexpr int kLongestRetryPauseMs = 3600 * 1000;

    // The clock outlives the protocol; samples is clamped to 1..kMaxSamples.
    explicit NtpProtocol(platform::PreciseClock& clock, int samples = 1);
    void setSamples(int samples);
    int samples() const { return samples_; }

    SocketKind socketKind() const override { return SocketKind::Datagram; }
    void beginAttempt() override;
    std::optional<std::string> request() override;
    Reading consume(const Received& received) override;
    bool partial() const override;
    std::string brokenAnswerLine() const override;
    // The best of the samples taken so far, when there is one.
    std::optional<CheckResult> resultSoFar() const override;
    int retryPauseMs(int timeOutsSoFar) const override;
    bool heedsKissOfDeath() const override { return true; }
    // A wrapper that adds to the request after request() (an authenticator)
    // takes the send time again, as close to the send as it can.
    void restampSend() { sentMonotonicNs_ = clock_.MonotonicNanoseconds(); }

private:
    // An accepted answer and what the server said with it.
    struct Taken {
        ntp::Sample sample;
        ntp::Reply reply;
        std::int64_t localReceiveNs = 0;   // T4
        ntp::IpFamily family = ntp::IpFamily::V4;   // what the reference id means
    };

    // T4 and T4 - T1 of a datagram just read.
    struct Arrival {
        std::int64_t realtimeNs = 0;
        std::int64_t elapsedNs = 0;
    };
    Arrival arrivalOf(const Received& received) const;
    Reading accept(const ntp::Reply& reply, const Arrival& arrival, ntp::IpFamily family);
    CheckResult resultOf(const Taken& best) const;

    platform::PreciseClock& clock_;
    int samples_ = 1;
    std::uint64_t requestBits_ = 0;
    std::int64_t sentMonotonicNs_ = 0;
    bool awaiting_ = false;        // a request is out and unanswered
    bool ignoredLogged_ = false;   // one line per request for replies that do not answer it
    std::vector<Taken> taken_;
};

// Seconds with six decimals from nanoseconds: "0.000123", or "+2.345678" /
// "-0.001000" with `withSign`.
std::string SecondsText(std::int64_t nanoseconds, bool withSign);

} // namespace check
