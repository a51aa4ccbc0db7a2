#include "check/nts_source.h"

namespace check {

NtsSource::NtsSource(platform::PreciseClock& clock, const platform::AeadSiv& aead, int samples,
                     KeyExchangeSettings keyExchange, std::string ntpPort)
    : settings_(std::move(keyExchange)), ntpPort_(std::move(ntpPort)), protocol_(clock, aead, samples)
{
    protocol_.setSession(&session_);
}

void NtsSource::start(const Source& source, Log log, Done done)
{
    KeyExchangeSettings settings = settings_;
    settings.host = source.server;
    // An address of a name is reached by its number; the name is what the certificate names.
    settings.address = source.host == source.server ? std::string() : source.host;
    keyExchange_.start(settings, log, [this, log, done](const KeyExchangeOutcome& outcome) {
        if (!outcome.error.empty()) {
            done({outcome.error, {}, {}});
            return;
        }
        session_ = outcome.session;
        protocol_.clearNeedsKeyExchange();
        if (!ntpPort_.empty())
            log(">NTP port " + ntpPort_ + " as --port asks");
        done({{}, session_.ntpHost, ntpPort_.empty() ? session_.ntpPort : ntpPort_});
    });
}

} // namespace check
