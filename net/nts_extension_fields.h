#pragma once
// NTP extension fields as authenticated time uses them, after the 48-byte
// header: unique identifier, cookie, cookie placeholder and the authenticator
// with its encrypted part. Pure: no keys, no cipher; the caller seals and
// opens with the additional data this code points out.
//
// A field is a 16-bit type, a 16-bit length counting the whole field, and a
// body padded with zeros to a multiple of four bytes; fields outside the
// encrypted part are at least 16 bytes long.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nts {

constexpr std::uint16_t kUniqueIdentifier = 0x0104;
constexpr std::uint16_t kCookie = 0x0204;
constexpr std::uint16_t kCookiePlaceholder = 0x0304;
constexpr std::uint16_t kAuthenticator = 0x0404;

constexpr std::size_t kNtpHeaderSize = 48;
constexpr std::size_t kMinFieldSize = 16;       // outside the encrypted part
constexpr std::size_t kMinInnerFieldSize = 4;   // inside it: header only is a field
constexpr std::size_t kUniqueIdentifierSize = 32;
constexpr std::size_t kSivNonceSize = 16;
constexpr std::size_t kSivTagSize = 16;

struct ExtensionField {
    std::uint16_t type = 0;
    std::string body;          // padding included, as it arrived
    std::size_t offset = 0;    // where the field starts in what was parsed
};

// One field: the body padded to a multiple of four and to `minSize` in all;
// empty when it would be over 65535 bytes.
std::string EncodeField(std::uint16_t type, const std::string& body, std::size_t minSize = kMinFieldSize);

// The fields from `start` to the end; none when one of them is short,
// unpadded or runs past the end, or bytes are left over.
std::optional<std::vector<ExtensionField>> ParseFields(std::span<const std::uint8_t> bytes, std::size_t start,
                                                       std::size_t minSize);

// The authenticator field: nonce and ciphertext (tag first), each padded.
std::string EncodeAuthenticator(const std::string& nonce, const std::string& ciphertext);
struct Authenticator {
    std::string nonce;
    std::string ciphertext;
};
std::optional<Authenticator> DecodeAuthenticator(const std::string& body);

// The client's request up to its authenticator: the NTP header, our unique
// identifier, one cookie and `placeholders` cookie placeholders as long as
// the cookie. The authenticator's additional data is all of it.
std::string EncodeRequestFields(const std::string& ntpHeader, const std::string& uniqueId, const std::string& cookie,
                                int placeholders);

// What a server's reply carries, before any key is used.
struct ReplyFields {
    std::string uniqueId;
    Authenticator authenticator;
    std::size_t authenticatedLength = 0;   // header and fields before the authenticator: the additional data
};

enum class ReplyFieldsStatus { Ok, NoFields, Malformed, NoUniqueId, NoAuthenticator, Repeated };
struct ReplyFieldsParse {
    ReplyFieldsStatus status = ReplyFieldsStatus::NoFields;
    ReplyFields fields;
};

// Fields after the authenticator are not covered by it and are not read.
ReplyFieldsParse ParseReplyFields(std::span<const std::uint8_t> packet);

// The cookies in an opened encrypted part; none when it is no list of fields.
std::optional<std::vector<std::string>> CookiesIn(const std::string& plaintext);

} // namespace nts
