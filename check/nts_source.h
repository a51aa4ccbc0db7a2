#pragma once
// One authenticated source of a check of several: its own key exchange (to
// the address asked, the certificate checked against the name given), then
// its NTP exchange with the keys and cookies that exchange handed out.

#include "check/multi_source_check.h"
#include "check/nts_key_exchange.h"
#include "check/nts_protocol.h"

namespace check {

class NtsSource : public SourcePreparation {
public:
    // `keyExchange` gives the port, trust and time-out; its host and address
    // are each source's. A non-empty `ntpPort` overrides the one the exchange names.
    NtsSource(platform::PreciseClock& clock, const platform::AeadSiv& aead, int samples,
              KeyExchangeSettings keyExchange, std::string ntpPort);

    CheckProtocol& protocol() override { return protocol_; }
    void start(const Source& source, Log log, Done done) override;
    void cancel() override { keyExchange_.cancel(); }
    bool readyToAsk() const override { return session_.usable() && !protocol_.needsKeyExchange(); }

private:
    KeyExchangeSettings settings_;
    std::string ntpPort_;
    NtsSession session_;
    NtsProtocol protocol_;
    NtsKeyExchange keyExchange_;   // last: cancelled before the rest goes
};

} // namespace check
