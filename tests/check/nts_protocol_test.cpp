// Authenticated NTP over a fake clock, against a server made in the test
// from the same codecs and the real cipher: what a request carries, which
// replies count, which are ignored while the wait goes on, and NTSN.
#include "check/nts_protocol.h"

#include "fakes/fake_precise_clock.h"
#include "net/nts_extension_fields.h"
#include "net/ntp_packet.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::int64_t kMs = 1'000'000;
using fakes::FakePreciseClock;

const std::string kC2s(32, 'c');
const std::string kS2c(32, 's');

check::NtsSession sessionWith(int cookies)
{
    check::NtsSession session;
    session.clientToServerKey = kC2s;
    session.serverToClientKey = kS2c;
    for (int i = 0; i < cookies; ++i)
        session.cookies.push_back("cookie-" + std::to_string(i) + std::string(40, 'x'));
    return session;
}

std::span<const std::uint8_t> bytesOf(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct Reply {
    bool echoId = true;
    bool authenticate = true;
    std::string key = kS2c;
    bool flipTag = false;
    int stratum = 2;
    std::string referenceId = std::string("\x7f\x00\x00\x01", 4);
    int newCookies = 1;
};

// The server's side: an NTP reply to `request` 5 ms ahead, with our
// identifier echoed and new cookies sealed under the server's key.
std::string replyTo(const std::string& request, const Reply& how, std::int64_t sentAt)
{
    std::string packet(48, '\0');
    auto put64 = [&](std::size_t at, std::uint64_t value) {
        for (int i = 0; i < 8; ++i)
            packet[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (56 - 8 * i));
    };
    packet[0] = 0x24;
    packet[1] = static_cast<char>(how.stratum);
    packet.replace(12, 4, how.referenceId);
    packet.replace(24, 8, request.substr(40, 8));
    put64(32, ntp::NtpFromUnixNanoseconds(sentAt + 5 * kMs));
    put64(40, ntp::NtpFromUnixNanoseconds(sentAt + 6 * kMs));
    const auto fields = nts::ParseFields(bytesOf(request), 48, nts::kMinFieldSize);
    std::string id = fields->at(0).body;
    if (!how.echoId)
        id[0] ^= 1;
    packet += nts::EncodeField(nts::kUniqueIdentifier, id);
    if (!how.authenticate)
        return packet;
    std::string plain;
    for (int i = 0; i < how.newCookies; ++i)
        plain += nts::EncodeField(nts::kCookie, "fresh-" + std::to_string(i) + std::string(40, 'f'), 4);
    const std::string nonce(16, 'n');
    std::string sealed = *platform::GnutlsAeadSiv().seal(how.key, nonce, packet, plain);
    if (how.flipTag)
        sealed[3] ^= 0x10;
    return packet + nts::EncodeAuthenticator(nonce, sealed);
}

struct Fixture {
    FakePreciseClock clock;
    platform::GnutlsAeadSiv aead;
    check::NtsProtocol protocol{clock, aead};
    check::NtsSession session = sessionWith(8);
    Fixture() { protocol.setSession(&session); }

    check::Reading deliver(const std::string& bytes)
    {
        clock.advance(2 * kMs);
        return protocol.consume({check::Received::Status::Data, bytes, {}, {}});
    }
};

TEST(NtsProtocol, RequestCarriesOneFreshCookieAnIdPlaceholdersAndAValidAuthenticator)
{
    Fixture f;
    for (int round = 0; round < 2; ++round) {
        const std::string request = *f.protocol.request();
        const auto fields = nts::ParseFields(bytesOf(request), 48, nts::kMinFieldSize);
        ASSERT_TRUE(fields);
        ASSERT_GE(fields->size(), 3u);
        EXPECT_EQ(fields->at(0).type, nts::kUniqueIdentifier);
        EXPECT_EQ(fields->at(0).body.size(), 32u);
        EXPECT_EQ(fields->at(1).type, nts::kCookie);
        EXPECT_EQ(fields->at(1).body.substr(0, 8), "cookie-" + std::to_string(round));
        for (std::size_t i = 2; i + 1 < fields->size(); ++i) {
            EXPECT_EQ(fields->at(i).type, nts::kCookiePlaceholder);
            EXPECT_EQ(fields->at(i).body, std::string(fields->at(1).body.size(), '\0')) << "as long as the cookie";
        }
        // Spent cookies are asked back: one placeholder per cookie missing from a full pocket.
        EXPECT_EQ(fields->size(), 3u + static_cast<std::size_t>(round)) << round;
        const nts::ExtensionField& last = fields->back();
        ASSERT_EQ(last.type, nts::kAuthenticator);
        const auto authenticator = nts::DecodeAuthenticator(last.body);
        ASSERT_TRUE(authenticator);
        EXPECT_EQ(f.aead.open(kC2s, authenticator->nonce, request.substr(0, last.offset), authenticator->ciphertext),
                  "");
    }
    EXPECT_EQ(f.session.cookies.size(), 6u);
}

TEST(NtsProtocol, OnlyAnEchoedAuthenticReplyCountsAndTheWaitGoesOnPastForgeries)
{
    struct Case {
        const char* name;
        Reply reply;
    };
    const Case forgeries[] = {
        {"unauthenticated", {.authenticate = false}},
        {"another request's id", {.echoId = false}},
        {"tag flipped on the way", {.flipTag = true}},
        {"sealed with another key", {.key = kC2s}},
        {"NTSN for another request", {.echoId = false, .authenticate = false, .stratum = 0, .referenceId = "NTSN"}},
        {"unauthenticated kiss DENY", {.authenticate = false, .stratum = 0, .referenceId = "DENY"}},
    };
    Fixture f;
    const std::int64_t sentAt = f.clock.realtime;
    const std::string request = *f.protocol.request();
    for (const Case& c : forgeries) {
        const check::Reading reading = f.deliver(replyTo(request, c.reply, sentAt));
        EXPECT_EQ(reading.kind, check::Reading::Kind::NeedMore) << c.name;
    }
    EXPECT_FALSE(f.protocol.needsKeyExchange());
    EXPECT_EQ(f.session.cookies.size(), 7u);
    const check::Reading answer = f.deliver(replyTo(request, {.newCookies = 3}, sentAt));
    ASSERT_EQ(answer.kind, check::Reading::Kind::Done);
    EXPECT_TRUE(answer.result.authenticated);
    ASSERT_TRUE(answer.result.ntp);
    // The new cookies refill the pocket, no further.
    EXPECT_EQ(f.session.cookies.size(), check::NtsSession::kWantedCookies);
    EXPECT_EQ(f.session.cookies.back().substr(0, 7), "fresh-0");
    // The same reply again answers nothing.
    EXPECT_EQ(f.deliver(replyTo(request, {}, sentAt)).kind, check::Reading::Kind::NeedMore);
}

TEST(NtsProtocol, AuthenticKissesAreTheServersOwn)
{
    Fixture f;
    const std::int64_t sentAt = f.clock.realtime;
    std::string request = *f.protocol.request();
    // The server that lost our cookie cannot sign: our identifier is its proof.
    const check::Reading ntsn =
        f.deliver(replyTo(request, {.authenticate = false, .stratum = 0, .referenceId = "NTSN"}, sentAt));
    EXPECT_EQ(ntsn.kind, check::Reading::Kind::Failed);
    EXPECT_NE(ntsn.line.find("NTSN"), std::string::npos);
    EXPECT_TRUE(f.protocol.needsKeyExchange());

    f.protocol.beginAttempt();
    request = *f.protocol.request();
    // Any other kiss must be signed (the forgeries test sends an unsigned one).
    const check::Reading deny = f.deliver(replyTo(request, {.stratum = 0, .referenceId = "DENY"}, f.clock.realtime));
    EXPECT_EQ(deny.kind, check::Reading::Kind::Failed);
    EXPECT_EQ(deny.kissCode, "DENY");
}

TEST(NtsProtocol, NothingGoesOutWithoutACookie)
{
    Fixture f;
    f.session = sessionWith(1);
    EXPECT_TRUE(f.protocol.request());
    EXPECT_FALSE(f.protocol.request());
    EXPECT_TRUE(f.protocol.needsKeyExchange());
    check::NtsProtocol unbound(f.clock, f.aead);
    EXPECT_FALSE(unbound.request());
}

} // namespace
