#include "net/nts_extension_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::span<const std::uint8_t> bytesOf(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string field(std::uint16_t type, std::uint16_t length, const std::string& body)
{
    std::string out{static_cast<char>(type >> 8), static_cast<char>(type & 0xFF), static_cast<char>(length >> 8),
                    static_cast<char>(length & 0xFF)};
    return out + body;
}

const std::string kHeader(48, '\x24');
const std::string kId(32, 'u');

TEST(NtsExtensionFields, EncodePadsToWordsAndToTheMinimum)
{
    struct Case {
        std::size_t body;
        std::size_t minimum;
        std::size_t total;
    };
    for (const Case c : std::vector<Case>{{0, 16, 16}, {1, 16, 16}, {12, 16, 16}, {13, 16, 20}, {32, 16, 36},
                                          {5, 4, 12}, {0, 4, 4}, {0, 18, 20}}) {
        const std::string encoded = nts::EncodeField(0x0204, std::string(c.body, 'x'), c.minimum);
        EXPECT_EQ(encoded.size(), c.total) << c.body;
        EXPECT_EQ(encoded.substr(0, 4), field(0x0204, static_cast<std::uint16_t>(c.total), ""));
        EXPECT_EQ(encoded.find_first_not_of('\0', 4 + c.body), std::string::npos);
    }
    EXPECT_TRUE(nts::EncodeField(1, std::string(65532, 'x')).empty());
}

TEST(NtsExtensionFields, ParseRefusesShortUnpaddedAndOverrunningFields)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"none", "", true},
        {"one", field(1, 16, std::string(12, 'a')), true},
        {"two", field(1, 16, std::string(12, 'a')) + field(2, 20, std::string(16, 'b')), true},
        {"under 16", field(1, 12, std::string(8, 'a')), false},
        {"not a word multiple", field(1, 18, std::string(14, 'a')), false},
        {"past the end", field(1, 20, std::string(12, 'a')), false},
        {"bytes left", field(1, 16, std::string(12, 'a')) + "xy", false},
        {"length zero", field(1, 0, std::string(12, 'a')), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nts::ParseFields(bytesOf(c.bytes), 0, nts::kMinFieldSize).has_value(), c.ok) << c.name;
}

TEST(NtsExtensionFields, AuthenticatorRoundTripsWithPaddingAndRefusesOverruns)
{
    const std::string nonce(16, 'n');
    const std::string sealed(19, 's');   // padded to 20
    const std::string encoded = nts::EncodeAuthenticator(nonce, sealed);
    EXPECT_EQ(encoded.size(), 4u + 4u + 16u + 20u);
    const auto fields = nts::ParseFields(bytesOf(encoded), 0, nts::kMinFieldSize);
    ASSERT_TRUE(fields);
    const auto decoded = nts::DecodeAuthenticator((*fields)[0].body);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->nonce, nonce);
    EXPECT_EQ(decoded->ciphertext, sealed);

    EXPECT_FALSE(nts::DecodeAuthenticator(std::string("\x00\x10\x00\x10", 4) + std::string(28, 'x')));
    EXPECT_FALSE(nts::DecodeAuthenticator("\x00"));
}

TEST(NtsExtensionFields, ReplyFieldsNeedAnIdBeforeOneAuthenticator)
{
    const std::string id = nts::EncodeField(nts::kUniqueIdentifier, kId);
    const std::string auth = nts::EncodeAuthenticator(std::string(16, 'n'), std::string(16, 't'));
    const std::string other = nts::EncodeField(0x7777, "other");
    struct Case {
        const char* name;
        std::string packet;
        nts::ReplyFieldsStatus status;
    };
    const std::vector<Case> cases = {
        {"plain NTP", kHeader, nts::ReplyFieldsStatus::NoFields},
        {"id then authenticator", kHeader + id + auth, nts::ReplyFieldsStatus::Ok},
        {"unknown field between", kHeader + id + other + auth, nts::ReplyFieldsStatus::Ok},
        {"fields after the authenticator", kHeader + id + auth + other, nts::ReplyFieldsStatus::Ok},
        {"authenticator first", kHeader + auth + id, nts::ReplyFieldsStatus::NoUniqueId},
        {"no authenticator", kHeader + id, nts::ReplyFieldsStatus::NoAuthenticator},
        {"two ids", kHeader + id + id + auth, nts::ReplyFieldsStatus::Repeated},
        {"broken field", kHeader + id + "\x04\x04\x00", nts::ReplyFieldsStatus::Malformed},
    };
    for (const Case& c : cases) {
        const nts::ReplyFieldsParse parsed = nts::ParseReplyFields(bytesOf(c.packet));
        EXPECT_EQ(parsed.status, c.status) << c.name;
        if (parsed.status == nts::ReplyFieldsStatus::Ok) {
            EXPECT_EQ(parsed.fields.uniqueId, kId) << c.name;
            EXPECT_EQ(c.packet.substr(parsed.fields.authenticatedLength, 4), auth.substr(0, 4)) << c.name;
        }
    }
}

TEST(NtsExtensionFields, CookiesComeFromTheOpenedPartOnly)
{
    const std::string plain =
        nts::EncodeField(nts::kCookie, "first", 4) + nts::EncodeField(0x0999, "x", 4) + nts::EncodeField(nts::kCookie, "secondcookie", 4);
    const auto cookies = nts::CookiesIn(plain);
    ASSERT_TRUE(cookies);
    EXPECT_EQ(*cookies, (std::vector<std::string>{std::string("first\0\0\0", 8), "secondcookie"}));
    EXPECT_FALSE(nts::CookiesIn("\x02\x04\x00\x09xxxxx"));
    EXPECT_EQ(nts::CookiesIn("")->size(), 0u);
}

} // namespace
