#include "check/nts_protocol.h"

#include "net/nts_extension_fields.h"

#include <algorithm>

namespace check {
namespace {
constexpr int kMaxPlaceholders = 7;
} // namespace

NtsProtocol::NtsProtocol(platform::PreciseClock& clock, const platform::AeadSiv& aead, int samples)
    : aead_(aead), ntp_(clock, samples)
{
}

void NtsProtocol::beginAttempt()
{
    ntp_.beginAttempt();
    uniqueId_.clear();
}

std::optional<std::string> NtsProtocol::request()
{
    const std::optional<std::string> cookie = session_ ? session_->takeCookie() : std::nullopt;
    if (!cookie) {
        // Nothing goes out unauthenticated: the owner makes a new exchange.
        needsKeyExchange_ = true;
        uniqueId_.clear();
        return std::nullopt;
    }
    // Ask for as many cookies as keep the pocket full after this one is spent.
    const int placeholders = std::clamp(static_cast<int>(NtsSession::kWantedCookies) - 1 -
                                            static_cast<int>(session_->cookies.size()),
                                        0, kMaxPlaceholders);
    uniqueId_ = aead_.randomBytes(nts::kUniqueIdentifierSize);
    const std::string nonce = aead_.randomBytes(nts::kSivNonceSize);
    ignoredLogged_ = false;
    const std::optional<std::string> header = ntp_.request();
    const std::string fields = nts::EncodeRequestFields(*header, uniqueId_, *cookie, placeholders);
    const std::optional<std::string> tag = aead_.seal(session_->clientToServerKey, nonce, fields, {});
    if (!tag) {
        needsKeyExchange_ = true;
        uniqueId_.clear();
        return std::nullopt;
    }
    std::string packet = fields + nts::EncodeAuthenticator(nonce, *tag);
    // Sealing took time the exchange must not count.
    ntp_.restampSend();
    return packet;
}

Reading NtsProtocol::ignored(const std::string& why)
{
    // The wait goes on; one note per request, however many arrive.
    if (ignoredLogged_)
        return Reading::needMore();
    ignoredLogged_ = true;
    Reading note = Reading::needMore();
    note.line = ">Note: " + why + "; ignored.";
    return note;
}

Reading NtsProtocol::consume(const Received& received)
{
    if (uniqueId_.empty() || !session_)
        return Reading::needMore();
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(received.bytes.data());
    const std::span<const std::uint8_t> packet{bytes, received.bytes.size()};
    const nts::ReplyFieldsParse parsed = nts::ParseReplyFields(packet);
    const bool echoed = (parsed.status == nts::ReplyFieldsStatus::Ok ||
                         parsed.status == nts::ReplyFieldsStatus::NoAuthenticator) &&
                        parsed.fields.uniqueId == uniqueId_;
    // A server that cannot read our cookie has no key to sign with: its
    // NTSN is proven by our identifier alone, and costs only a new exchange.
    const bool kiss = packet.size() >= ntp::kPacketSize && packet[1] == 0;
    if (echoed && kiss && received.bytes.substr(12, 4) == "NTSN") {
        uniqueId_.clear();
        needsKeyExchange_ = true;
        return Reading::failed(">Error: the server no longer knows our cookies (kiss-o'-death NTSN).",
                               "Error: the server asks for a new key exchange");
    }
    if (parsed.status != nts::ReplyFieldsStatus::Ok)
        return ignored("an unauthenticated reply arrived");
    if (!echoed)
        return ignored("a reply to another request arrived");
    const std::string associated = received.bytes.substr(0, parsed.fields.authenticatedLength);
    const std::optional<std::string> opened = aead_.open(session_->serverToClientKey, parsed.fields.authenticator.nonce,
                                                         associated, parsed.fields.authenticator.ciphertext);
    if (!opened)
        return ignored("a reply failed authentication");
    const std::optional<std::vector<std::string>> cookies = nts::CookiesIn(*opened);
    if (!cookies)
        return ignored("a reply's encrypted part is malformed");

    // Authentic from here on: this request is answered, and any other kiss is the server's own.
    uniqueId_.clear();
    for (const std::string& cookie : *cookies)
        session_->addCookie(cookie);
    Reading reading = ntp_.consume(received);
    reading.result.authenticated = reading.kind == Reading::Kind::Done;
    return reading;
}

std::optional<CheckResult> NtsProtocol::resultSoFar() const
{
    std::optional<CheckResult> result = ntp_.resultSoFar();
    // Every sample kept was authenticated.
    if (result)
        result->authenticated = true;
    return result;
}

} // namespace check
