#include "platform/aead_siv.h"

#include <gtest/gtest.h>

namespace {

std::string hex(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return out;
}

// The SIV key, associated data and plaintext of the well-known first example,
// with a 16-byte zero nonce (the library cannot take none); the tag was
// checked against another implementation.
const std::string kKey = hex("fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");
const std::string kAd = hex("101112131415161718191a1b1c1d1e1f2021222324252627");
const std::string kPlain = hex("112233445566778899aabbccddee");
const std::string kNonce(16, '\0');

TEST(AeadSiv, KnownTagAndRoundTrip)
{
    const platform::GnutlsAeadSiv siv;
    const auto sealed = siv.seal(kKey, kNonce, kAd, kPlain);
    ASSERT_TRUE(sealed);
    ASSERT_EQ(sealed->size(), kPlain.size() + 16);
    EXPECT_EQ(sealed->substr(0, 16), hex("b5dab030aadb34569fcd6e4c73fba078"));
    EXPECT_EQ(siv.open(kKey, kNonce, kAd, *sealed), kPlain);
}

TEST(AeadSiv, AnyChangeFailsToOpen)
{
    const platform::GnutlsAeadSiv siv;
    const std::string sealed = *siv.seal(kKey, kNonce, kAd, kPlain);
    struct Case {
        const char* name;
        std::string key, nonce, ad, sealed;
    };
    std::string flippedTag = sealed, flippedBody = sealed, otherKey = kKey, otherNonce = kNonce, otherAd = kAd;
    flippedTag[0] ^= 1;
    flippedBody[20] ^= 0x80;
    otherKey[31] ^= 1;
    otherNonce[15] = 1;
    otherAd[0] ^= 1;
    const Case cases[] = {
        {"tag", kKey, kNonce, kAd, flippedTag},
        {"body", kKey, kNonce, kAd, flippedBody},
        {"key", otherKey, kNonce, kAd, sealed},
        {"nonce", kKey, otherNonce, kAd, sealed},
        {"associated data", kKey, kNonce, otherAd, sealed},
        {"cut", kKey, kNonce, kAd, sealed.substr(0, 15)},
        {"empty nonce", kKey, "", kAd, sealed},
        {"short key", kKey.substr(0, 16), kNonce, kAd, sealed},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(siv.open(c.key, c.nonce, c.ad, c.sealed)) << c.name;
    EXPECT_FALSE(siv.seal(kKey, "", kAd, kPlain));
    // An empty plaintext is the client's usual case: the tag alone.
    const auto tagOnly = siv.seal(kKey, kNonce, kAd, "");
    ASSERT_TRUE(tagOnly);
    EXPECT_EQ(tagOnly->size(), 16u);
    EXPECT_EQ(siv.open(kKey, kNonce, kAd, *tagOnly), "");
}

} // namespace
