#include "net/nts_extension_fields.h"

namespace nts {
namespace {

std::uint16_t be16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

void appendBe16(std::string& out, std::size_t value)
{
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

std::size_t paddedToWord(std::size_t size)
{
    return (size + 3) / 4 * 4;
}

std::string padded(const std::string& bytes)
{
    std::string out = bytes;
    out.resize(paddedToWord(bytes.size()), '\0');
    return out;
}

} // namespace

std::string EncodeField(std::uint16_t type, const std::string& body, std::size_t minSize)
{
    std::size_t total = std::max(paddedToWord(4 + body.size()), paddedToWord(minSize));
    if (total > 0xFFFF)
        return {};
    std::string out;
    appendBe16(out, type);
    appendBe16(out, total);
    out += body;
    out.resize(total, '\0');
    return out;
}

std::optional<std::vector<ExtensionField>> ParseFields(std::span<const std::uint8_t> bytes, std::size_t start,
                                                       std::size_t minSize)
{
    std::vector<ExtensionField> fields;
    std::size_t at = start;
    if (at > bytes.size())
        return std::nullopt;
    while (at < bytes.size()) {
        if (bytes.size() - at < 4)
            return std::nullopt;
        const std::uint16_t type = be16(bytes.data() + at);
        const std::size_t length = be16(bytes.data() + at + 2);
        if (length < std::max<std::size_t>(minSize, 4) || length % 4 != 0 || length > bytes.size() - at)
            return std::nullopt;
        fields.push_back({type, std::string(reinterpret_cast<const char*>(bytes.data() + at + 4), length - 4), at});
        at += length;
    }
    return fields;
}

std::string EncodeAuthenticator(const std::string& nonce, const std::string& ciphertext)
{
    std::string body;
    appendBe16(body, nonce.size());
    appendBe16(body, ciphertext.size());
    body += padded(nonce);
    body += padded(ciphertext);
    return EncodeField(kAuthenticator, body);
}

std::optional<Authenticator> DecodeAuthenticator(const std::string& body)
{
    if (body.size() < 4)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(body.data());
    const std::size_t nonceLength = be16(bytes);
    const std::size_t cipherLength = be16(bytes + 2);
    const std::size_t nonceSpace = paddedToWord(nonceLength);
    const std::size_t cipherSpace = paddedToWord(cipherLength);
    // What follows the padded ciphertext is the field's own padding.
    if (body.size() - 4 < nonceSpace + cipherSpace)
        return std::nullopt;
    return Authenticator{body.substr(4, nonceLength), body.substr(4 + nonceSpace, cipherLength)};
}

std::string EncodeRequestFields(const std::string& ntpHeader, const std::string& uniqueId, const std::string& cookie,
                                int placeholders)
{
    std::string out = ntpHeader;
    out += EncodeField(kUniqueIdentifier, uniqueId);
    out += EncodeField(kCookie, cookie);
    // A placeholder as long as the cookie: the reply is no larger than the request.
    const std::string blank(cookie.size(), '\0');
    for (int i = 0; i < placeholders; ++i)
        out += EncodeField(kCookiePlaceholder, blank);
    return out;
}

ReplyFieldsParse ParseReplyFields(std::span<const std::uint8_t> packet)
{
    ReplyFieldsParse parse;
    if (packet.size() <= kNtpHeaderSize) {
        parse.status = ReplyFieldsStatus::NoFields;
        return parse;
    }
    const auto fields = ParseFields(packet, kNtpHeaderSize, kMinFieldSize);
    if (!fields) {
        parse.status = ReplyFieldsStatus::Malformed;
        return parse;
    }
    bool haveId = false;
    for (const ExtensionField& field : *fields) {
        if (field.type == kUniqueIdentifier) {
            if (haveId) {
                parse.status = ReplyFieldsStatus::Repeated;
                return parse;
            }
            haveId = true;
            parse.fields.uniqueId = field.body;
        } else if (field.type == kAuthenticator) {
            if (!haveId) {
                parse.status = ReplyFieldsStatus::NoUniqueId;
                return parse;
            }
            const auto authenticator = DecodeAuthenticator(field.body);
            if (!authenticator) {
                parse.status = ReplyFieldsStatus::Malformed;
                return parse;
            }
            parse.fields.authenticator = *authenticator;
            parse.fields.authenticatedLength = field.offset;
            parse.status = ReplyFieldsStatus::Ok;
            return parse;
        }
    }
    parse.status = haveId ? ReplyFieldsStatus::NoAuthenticator : ReplyFieldsStatus::NoUniqueId;
    return parse;
}

std::optional<std::vector<std::string>> CookiesIn(const std::string& plaintext)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(plaintext.data());
    const auto fields = ParseFields({bytes, plaintext.size()}, 0, kMinInnerFieldSize);
    if (!fields)
        return std::nullopt;
    std::vector<std::string> cookies;
    for (const ExtensionField& field : *fields)
        if (field.type == kCookie && !field.body.empty())
            cookies.push_back(field.body);
    return cookies;
}

} // namespace nts
