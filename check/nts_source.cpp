#include "check/nts_source.h"

#include <QObject>

namespace check {

NtsSource::NtsSource(platform::PreciseClock& clock, const platform::AeadSiv& aead, int samples,
                     KeyExchangeSettings keyExchange, std::string ntpPort, NtsSessions* kept)
    : settings_(std::move(keyExchange)), ntpPort_(std::move(ntpPort)), kept_(kept), protocol_(clock, aead, samples),
      context_(std::make_unique<QObject>())
{
    protocol_.setSession(session_);
}

NtsSource::~NtsSource() = default;

void NtsSource::cancel()
{
    keyExchange_.cancel();
    context_ = std::make_unique<QObject>();   // a kept session's pending `done` goes with the old one
}

SourcePreparation::Ready NtsSource::readyWith(const NtsSession& session, const Log& log) const
{
    if (!ntpPort_.empty())
        log(">NTP port " + ntpPort_ + " as --port asks");
    return {{}, session.ntpHost, ntpPort_.empty() ? session.ntpPort : ntpPort_};
}

void NtsSource::start(const Source& source, Log log, Done done)
{
    KeyExchangeSettings settings = settings_;
    settings.host = source.server;
    // An address of a name is reached by its number; the name is what the certificate names.
    settings.address = source.host == source.server ? std::string() : source.host;
    if (kept_) {
        std::string key = settings.host + " " + settings.port;
        if (!settings.address.empty())
            key += " " + settings.address;
        session_ = &(*kept_)[key];
        protocol_.setSession(session_);
        // Refused by the server (NTSN) or spent: those keys are no use to anyone.
        if (protocol_.needsKeyExchange())
            *session_ = {};
        if (session_->usable()) {
            protocol_.clearNeedsKeyExchange();
            QMetaObject::invokeMethod(
                context_.get(), [this, log, done] { done(readyWith(*session_, log)); }, Qt::QueuedConnection);
            return;
        }
    }
    keyExchange_.start(settings, log, [this, log, done](const KeyExchangeOutcome& outcome) {
        if (!outcome.error.empty()) {
            done({outcome.error, {}, {}});
            return;
        }
        *session_ = outcome.session;
        protocol_.clearNeedsKeyExchange();
        done(readyWith(*session_, log));
    });
}

} // namespace check
