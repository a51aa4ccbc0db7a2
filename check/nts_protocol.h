#pragma once
// Authenticated NTP as a check protocol: the NTP request and its sample
// rules (NtpProtocol) with the session's fields added, a unique identifier,
// one cookie, placeholders for more, and the authenticator. A reply is read
// as NTP only once its identifier echoes ours and its authenticator opens
// with the server's key; anything else is ignored and the wait goes on, so
// a forger on the path can delay a check but never answer it. The one
// exception is NTSN, which the server sends when it cannot read our cookie:
// it echoes our identifier and carries no authenticator, and it only ever
// leads to a new key exchange.

#include "check/nts_session.h"
#include "check/ntp_protocol.h"
#include "platform/aead_siv.h"

namespace check {

class NtsProtocol : public CheckProtocol {
public:
    // The clock and the cipher outlive the protocol.
    NtsProtocol(platform::PreciseClock& clock, const platform::AeadSiv& aead, int samples = 1);
    void setSamples(int samples) { ntp_.setSamples(samples); }
    // The session the requests draw on, the owner's; nullptr: none.
    void setSession(NtsSession* session) { session_ = session; }

    // The server asked for a new key exchange (an authenticated NTSN), or
    // the cookies ran out: the session is spent.
    bool needsKeyExchange() const { return needsKeyExchange_; }
    void clearNeedsKeyExchange() { needsKeyExchange_ = false; }

    SocketKind socketKind() const override { return SocketKind::Datagram; }
    void beginAttempt() override;
    std::optional<std::string> request() override;
    Reading consume(const Received& received) override;
    bool partial() const override { return false; }
    std::string brokenAnswerLine() const override { return ntp_.brokenAnswerLine(); }
    std::optional<CheckResult> resultSoFar() const override;
    int retryPauseMs(int timeOutsSoFar) const override { return ntp_.retryPauseMs(timeOutsSoFar); }
    bool heedsKissOfDeath() const override { return true; }

private:
    Reading ignored(const std::string& why);

    const platform::AeadSiv& aead_;
    NtpProtocol ntp_;
    NtsSession* session_ = nullptr;
    std::string uniqueId_;   // of the request out; empty once answered
    bool ignoredLogged_ = false;
    bool needsKeyExchange_ = false;
};

} // namespace check
