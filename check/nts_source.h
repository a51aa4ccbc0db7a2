#pragma once
// One authenticated source of a check of several: its own key exchange (to
// the address asked, the certificate checked against the name given), then
// its NTP exchange with the keys and cookies that exchange handed out.

#include "check/multi_source_check.h"
#include "check/nts_key_exchange.h"
#include "check/nts_protocol.h"
#include "check/nts_session.h"

#include <memory>

class QObject;

namespace check {

class NtsSource : public SourcePreparation {
public:
    // `keyExchange` gives the port, trust and time-out; its host and address
    // are each source's. A non-empty `ntpPort` overrides the one the exchange names.
    // With `kept` (the window's, outliving the source) a source whose server
    // and address left keys and cookies there skips the exchange, and what it
    // has left after its check stays there for the next one.
    NtsSource(platform::PreciseClock& clock, const platform::AeadSiv& aead, int samples,
              KeyExchangeSettings keyExchange, std::string ntpPort, NtsSessions* kept = nullptr);
    ~NtsSource() override;

    CheckProtocol& protocol() override { return protocol_; }
    void start(const Source& source, Log log, Done done) override;
    void cancel() override;
    bool readyToAsk() const override { return session_->usable() && !protocol_.needsKeyExchange(); }

private:
    Ready readyWith(const NtsSession& session, const Log& log) const;

    KeyExchangeSettings settings_;
    std::string ntpPort_;
    NtsSessions* kept_;
    NtsSession own_;
    NtsSession* session_ = &own_;   // own_, or this source's entry in kept_
    NtsProtocol protocol_;
    std::unique_ptr<QObject> context_;   // delivers a kept session's `done` from the event loop
    NtsKeyExchange keyExchange_;         // last: cancelled before the rest goes
};

} // namespace check
