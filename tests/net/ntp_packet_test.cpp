#include "net/ntp_packet.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::int64_t kMillisecond = 1'000'000;
constexpr std::uint64_t kRequestBits = 0x0123456789ABCDEF;

// A server reply written out by hand: leap 0, version 4, mode 4, stratum 2,
// poll 6, precision -20, root delay 1.5 s, root dispersion 0.25 s, reference
// id 192.0.2.1, and the four timestamps.
const Bytes kKnownReply = {
    0x24, 0x02, 0x06, 0xEC,                           // LI VN mode, stratum, poll, precision
    0x00, 0x01, 0x80, 0x00,                           // root delay 1.5
    0x00, 0x00, 0x40, 0x00,                           // root dispersion 0.25
    0xC0, 0x00, 0x02, 0x01,                           // reference id
    0xE8, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,   // reference
    0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,   // origin = our request's bits
    0xE9, 0x00, 0x00, 0x01, 0x80, 0x00, 0x00, 0x00,   // receive: 0xE9000001.5
    0xE9, 0x00, 0x00, 0x01, 0xC0, 0x00, 0x00, 0x00,   // transmit: 0xE9000001.75
};

// Unix seconds of a moment, as nanoseconds.
constexpr std::int64_t at(std::int64_t unixSeconds)
{
    return unixSeconds * kSecond;
}

TEST(NtpPacket, RequestIsVersionFourModeThreeCarryingTheCallersBits)
{
    const ntp::PacketBytes request = ntp::EncodeRequest(kRequestBits);
    Bytes expected(48, 0);
    expected[0] = 0x23;
    const Bytes bits = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    std::copy(bits.begin(), bits.end(), expected.begin() + 40);
    EXPECT_EQ(Bytes(request.begin(), request.end()), expected);

    const auto decoded = ntp::DecodeReply(request);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->mode, 3);
    EXPECT_EQ(decoded->version, 4);
    EXPECT_EQ(decoded->transmit, kRequestBits);
}

TEST(NtpPacket, DecodesEveryFieldOfAHandMadeReply)
{
    Bytes withExtension = kKnownReply;
    withExtension.resize(68, 0xFF);   // extension bytes are not read
    for (const Bytes& bytes : {kKnownReply, withExtension}) {
        const auto reply = ntp::DecodeReply(bytes);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->leap, 0);
        EXPECT_EQ(reply->version, 4);
        EXPECT_EQ(reply->mode, 4);
        EXPECT_EQ(reply->stratum, 2);
        EXPECT_EQ(reply->poll, 6);
        EXPECT_EQ(reply->precision, -20);
        EXPECT_DOUBLE_EQ(reply->rootDelaySeconds, 1.5);
        EXPECT_DOUBLE_EQ(reply->rootDispersionSeconds, 0.25);
        EXPECT_EQ(reply->referenceIdText(), "192.0.2.1");
        EXPECT_EQ(reply->reference, 0xE800000000000000u);
        EXPECT_EQ(reply->origin, kRequestBits);
        EXPECT_EQ(reply->receive, 0xE900000180000000u);
        EXPECT_EQ(reply->transmit, 0xE9000001C0000000u);
    }
    EXPECT_FALSE(ntp::DecodeReply(Bytes(kKnownReply.begin(), kKnownReply.begin() + 47)));
    EXPECT_FALSE(ntp::DecodeReply(Bytes{}));
}

TEST(NtpPacket, ReferenceIdIsTextForStratumZeroAndOneAndAnAddressOrHashAbove)
{
    using F = ntp::IpFamily;
    struct Case {
        int stratum;
        std::array<std::uint8_t, 4> id;
        const char* text;
        F family = F::V4;
    } const cases[] = {
        {1, {'G', 'P', 'S', 0}, "GPS"},
        {0, {'R', 'A', 'T', 'E'}, "RATE"},
        {1, {0x01, 'A', 0, 0}, "?A"},            // unprintable bytes never reach a log line raw
        {1, {0xFF, '\n', 'X', 0x7F}, "??X?"},
        {0, {0, 0, 0, 0}, ""},
        {2, {10, 0, 0, 1}, "10.0.0.1"},
        {15, {255, 255, 255, 255}, "255.255.255.255"},
        // Over IPv6 an upstream is a hash of its address: hex, never dotted.
        {2, {0x1A, 0x2B, 0x3C, 0x4D}, "1A2B3C4D", F::V6},
        {15, {0, 0, 0, 0xFF}, "000000FF", F::V6},
        {1, {'G', 'P', 'S', 0}, "GPS", F::V6},
        {0, {'D', 'E', 'N', 'Y'}, "DENY", F::V6},
    };
    for (const Case& c : cases) {
        ntp::Reply reply;
        reply.stratum = c.stratum;
        reply.referenceId = c.id;
        EXPECT_EQ(reply.referenceIdText(c.family), c.text) << "stratum " << c.stratum;
    }
}

TEST(NtpEra, TimestampIsTakenInTheEraNearestTheLocalClock)
{
    constexpr std::int64_t kWrap = 2085978496;   // 2036-02-07 06:28:16 UTC, NTP seconds 2^32
    struct Case {
        const char* name;
        std::uint64_t stamp;
        std::int64_t near;
        std::int64_t expected;
    } const cases[] = {
        // 1968-01-01 00:00:00 UTC is NTP second 2145830400 of era 0.
        {"1968, local clock in 1968", std::uint64_t{2145830400} << 32, at(-63158400 + 86400), at(-63158400)},
        {"1968, local clock in 2026", std::uint64_t{2145830400} << 32, at(1796601600), at(-63158400)},
        {"2036, last second of era 0, clock after the wrap", std::uint64_t{0xFFFFFFFF} << 32, at(kWrap + 5),
         at(kWrap - 1)},
        {"2036, first second of era 1, clock before the wrap", std::uint64_t{1} << 32, at(kWrap - 5), at(kWrap + 1)},
        {"2036, the wrap itself", 0, at(kWrap - 1), at(kWrap)},
        {"2106, last second of era 1", std::uint64_t{0xFFFFFFFF} << 32, at(6380945000), at(6380945791)},   // 2106-02-07 06:28:15
        {"half a second", (std::uint64_t{2208988800 + 100} << 32) | 0x80000000u, at(100), at(100) + kSecond / 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ntp::UnixNanosecondsFromNtp(c.stamp, c.near), c.expected) << c.name;
}

TEST(NtpEra, UnixNanosecondsRoundTripToTheNanosecond)
{
    const std::int64_t moments[] = {0, 1, -1, 999'999'999, at(1796601600) + 123'456'789,
                                    at(2085978496) - 1, at(2085978496), at(-63158400) + 7, at(6380945791) + 999'999'999};
    for (std::int64_t moment : moments)
        EXPECT_EQ(ntp::UnixNanosecondsFromNtp(ntp::NtpFromUnixNanoseconds(moment), moment), moment) << moment;
    EXPECT_EQ(ntp::NtpFromUnixNanoseconds(0), std::uint64_t{2208988800} << 32);
    EXPECT_EQ(ntp::NtpFromUnixNanoseconds(at(2085978496) + kSecond / 4), 0x40000000u);   // era 1 starts at zero
}

// The known reply with one change.
Bytes replyWith(const std::function<void(Bytes&)>& change)
{
    Bytes bytes = kKnownReply;
    bytes[4] = bytes[5] = bytes[6] = bytes[7] = 0;   // root delay 0, distance 0.25 s
    change(bytes);
    return bytes;
}

// A 32-bit field (the seconds of a timestamp) at a byte offset.
void set32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

void setId(Bytes& bytes, const char* code)
{
    bytes[1] = 0;
    for (int i = 0; i < 4; ++i)
        bytes[12 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(code[i]);
}

TEST(NtpReplyCheck, EachFaultHasItsVerdictKindAndLine)
{
    using V = ntp::ReplyVerdict;
    using K = ntp::VerdictKind;
    struct Case {
        Bytes bytes;
        V verdict;
        K kind;
        bool forbidsRetry;
        const char* text;
        std::uint64_t requestBits = kRequestBits;
    } const cases[] = {
        {replyWith([](Bytes&) {}), V::Accepted, K::Accept, false, "the reply is valid"},
        {replyWith([](Bytes& b) { b[0] = 0x1C; }), V::Accepted, K::Accept, false, "the reply is valid"},   // version 3
        {replyWith([](Bytes& b) { b[31] ^= 1; }), V::IgnoredWrongOrigin, K::Ignore, false,
         "a reply that does not answer our request was ignored"},
        // A forged packet cannot make the server look refused: the origin comes first.
        {replyWith([](Bytes& b) { b[31] ^= 1; setId(b, "DENY"); }), V::IgnoredWrongOrigin, K::Ignore, false,
         "a reply that does not answer our request was ignored"},
        // A zero origin answers nothing, even a request whose bits were zero.
        {replyWith([](Bytes& b) { std::fill(b.begin() + 24, b.begin() + 32, 0); }), V::IgnoredWrongOrigin, K::Ignore,
         false, "a reply that does not answer our request was ignored", 0},
        // Anyone can send a short datagram: it must not end the wait.
        {Bytes(kKnownReply.begin(), kKnownReply.begin() + 47), V::TooShort, K::Ignore, false,
         "a datagram shorter than 48 bytes was ignored"},
        {Bytes{}, V::TooShort, K::Ignore, false, "a datagram shorter than 48 bytes was ignored"},
        {replyWith([](Bytes& b) { b[0] = 0x23; }), V::NotServerMode, K::Refuse, false, "the reply is not a server's (mode 3)"},
        {replyWith([](Bytes& b) { b[0] = 0x15; }), V::NotServerMode, K::Refuse, false, "the reply is not a server's (mode 5)"},
        {replyWith([](Bytes& b) { b[0] = 0x14; }), V::UnsupportedVersion, K::Refuse, false,
         "the reply is NTP version 2, not 3 or 4"},
        {replyWith([](Bytes& b) { b[0] = 0x2C; }), V::UnsupportedVersion, K::Refuse, false,
         "the reply is NTP version 5, not 3 or 4"},
        {replyWith([](Bytes& b) { b[0] = 0xE4; setId(b, "RATE"); }), V::KissRate, K::Refuse, true,
         "the server sent kiss-o'-death RATE: it asks us to slow down"},
        {replyWith([](Bytes& b) { setId(b, "DENY"); }), V::KissDenied, K::Refuse, true,
         "the server sent kiss-o'-death DENY: it refuses access"},
        {replyWith([](Bytes& b) { setId(b, "RSTR"); }), V::KissDenied, K::Refuse, true,
         "the server sent kiss-o'-death RSTR: it refuses access"},
        {replyWith([](Bytes& b) { setId(b, "INIT"); }), V::KissOther, K::Refuse, true, "the server sent kiss-o'-death INIT"},
        {replyWith([](Bytes& b) { setId(b, "\x1b[2J"); }), V::KissOther, K::Refuse, true,
         "the server sent kiss-o'-death ?[2J"},
        {replyWith([](Bytes& b) { setId(b, "\0\0\0\0"); }), V::KissOther, K::Refuse, true,
         "the server sent kiss-o'-death (no code)"},
        {replyWith([](Bytes& b) { b[0] = 0xE4; }), V::NotSynchronised, K::Refuse, false,
         "the server is not synchronised (leap indicator 3)"},
        {replyWith([](Bytes& b) { b[1] = 16; }), V::NotSynchronised, K::Refuse, false,
         "the server is not synchronised (stratum 16)"},
        {replyWith([](Bytes& b) { b[1] = 200; }), V::NotSynchronised, K::Refuse, false,
         "the server is not synchronised (stratum 200)"},
        // A kiss is told as a kiss even when its times are zero.
        {replyWith([](Bytes& b) { setId(b, "RSTR"); std::fill(b.begin() + 32, b.end(), 0); }), V::KissDenied,
         K::Refuse, true, "the server sent kiss-o'-death RSTR: it refuses access"},
        {replyWith([](Bytes& b) { std::fill(b.begin() + 32, b.begin() + 40, 0); }), V::ZeroReceive, K::Refuse, false,
         "the reply carries no receive time"},
        {replyWith([](Bytes& b) { std::fill(b.begin() + 40, b.end(), 0); }), V::ZeroTransmit, K::Refuse, false,
         "the reply carries no transmit time"},
        // T3 - T2 (0.25 s in the known reply): negative, or over 4 s, is refused.
        {replyWith([](Bytes& b) { set32(b, 32, 0xE9000065); }), V::ServerTimeReversed, K::Refuse, false,
         "the server says it sent the reply 99.750 s before it received the request"},
        {replyWith([](Bytes& b) { set32(b, 36, 0xC0000001); }), V::ServerTimeReversed, K::Refuse,
         false, "the server says it sent the reply 0.000 s before it received the request"},
        {replyWith([](Bytes& b) { set32(b, 32, 0xE8FFFF9D); }), V::ServerHeldTooLong, K::Refuse, false,
         "the server says it held the request 100.250 s, over 4 s"},
        {replyWith([](Bytes& b) { set32(b, 32, 0xE8FFFFFD); b[36] = 0xC0; }), V::Accepted, K::Accept, false,
         "the reply is valid"},   // exactly 4 s
        {replyWith([](Bytes& b) { set32(b, 32, 0xE8FFFFFD); set32(b, 36, 0xBFFFFFFF); }), V::ServerHeldTooLong,
         K::Refuse, false, "the server says it held the request 4.000 s, over 4 s"},
        // One second across the end of an era is one second.
        {replyWith([](Bytes& b) { set32(b, 32, 0xFFFFFFFF); set32(b, 40, 0); b[44] = 0x80; }), V::Accepted,
         K::Accept, false, "the reply is valid"},
        // Root delay 2.5 s: 1.25 + 0.25 = 1.5 is still near enough; one more unit is not.
        {replyWith([](Bytes& b) { b[5] = 0x02; b[6] = 0x80; }), V::Accepted, K::Accept, false, "the reply is valid"},
        {replyWith([](Bytes& b) { b[5] = 0x02; b[6] = 0x80; b[7] = 0x02; }), V::TooFarFromReference, K::Refuse, false,
         "the server is too far from its reference (root distance 1.500 s, over 1.5 s)"},
        {replyWith([](Bytes& b) { b[4] = 0xFF; }), V::TooFarFromReference, K::Refuse, false,
         "the server is too far from its reference (root distance 32640.250 s, over 1.5 s)"},
    };
    for (const Case& c : cases) {
        const ntp::ReplyCheck check = ntp::CheckReply(c.bytes, c.requestBits);
        EXPECT_EQ(check.verdict, c.verdict) << c.text;
        EXPECT_EQ(ntp::KindOf(check.verdict), c.kind) << c.text;
        EXPECT_EQ(ntp::ForbidsRetry(check.verdict), c.forbidsRetry) << c.text;
        // Only a refusal of access keeps the server from later checks; RATE does not.
        EXPECT_EQ(ntp::HoldsServerBack(check.verdict), c.verdict == V::KissDenied) << c.text;
        EXPECT_EQ(ntp::ReplyCheckText(check), c.text);
    }
}

TEST(NtpMeasure, OffsetAndDelayFromTheFourTimestamps)
{
    const std::int64_t t1 = at(1796601600);
    struct Case {
        const char* name;
        ntp::Exchange exchange;
        std::int64_t offset;
        std::int64_t delay;
    } const cases[] = {
        // Server 2.345678 s ahead, 10 ms each way, 1 ms in the server.
        {"ahead", {t1 + 2'355'678'000, t1 + 2'356'678'000, t1 + 21 * kMillisecond, 21 * kMillisecond},
         2'345'678'000, 20 * kMillisecond},
        {"behind", {t1 - 1'240 * kMillisecond, t1 - 1'239 * kMillisecond, t1 + 21 * kMillisecond, 21 * kMillisecond},
         -1'250 * kMillisecond, 20 * kMillisecond},
        // Asymmetric paths (30 ms out, 10 back) show as half their difference.
        {"asymmetric", {t1 + 30 * kMillisecond, t1 + 30 * kMillisecond, t1 + 40 * kMillisecond, 40 * kMillisecond},
         10 * kMillisecond, 40 * kMillisecond},
        // The PC's clock stepped 10 s forward while the reply was under way:
        // against the clock as it now reads the server is 9.5 s behind, and
        // the delay is still the 20 ms the monotonic clock saw.
        {"stepped", {t1 + 510 * kMillisecond, t1 + 511 * kMillisecond, t1 + 10 * kSecond + 21 * kMillisecond,
                     21 * kMillisecond},
         -9'500 * kMillisecond, 20 * kMillisecond},
        // A server claiming more time than the round trip: the delay stays negative.
        {"negative delay", {t1, t1 + 50 * kMillisecond, t1 + 10 * kMillisecond, 10 * kMillisecond}, 20 * kMillisecond,
         -40 * kMillisecond},
        // T2 = T3 - 100 s on a 20 ms round trip: -50 s, and a delay that is not clamped to 0.
        {"T2 = T3 - 100 s", {t1 - 100 * kSecond + 10 * kMillisecond, t1 + 10 * kMillisecond, t1 + 20 * kMillisecond,
                             20 * kMillisecond},
         -50 * kSecond, 20 * kMillisecond - 100 * kSecond},
        {"odd nanoseconds", {t1 + 1, t1 + 2, t1 + 3, 3}, 0, 2},
    };
    for (const Case& c : cases) {
        const ntp::Sample sample = ntp::MeasureExchange(c.exchange);
        EXPECT_EQ(sample.offsetNs, c.offset) << c.name;
        EXPECT_EQ(sample.delayNs, c.delay) << c.name;
    }
}

TEST(NtpMeasure, ANegativeDelayIsRefusedWithItsValue)
{
    using V = ntp::SampleVerdict;
    struct Case {
        std::int64_t delay;
        V verdict;
        const char* text;
    } const cases[] = {
        {-99'990 * kMillisecond, V::NegativeDelay,
         "the measured delay is negative (-99.990 s): the server's times do not fit the round trip"},
        {-1, V::NegativeDelay, "the measured delay is negative (-0.000 s): the server's times do not fit the round trip"},
        {0, V::Accepted, "the sample is valid"},
        {20 * kMillisecond, V::Accepted, "the sample is valid"},
    };
    for (const Case& c : cases) {
        const ntp::Sample sample{5 * kMillisecond, c.delay};
        EXPECT_EQ(ntp::CheckSample(sample), c.verdict) << c.delay;
        EXPECT_EQ(ntp::SampleCheckText(ntp::CheckSample(sample), sample), c.text);
    }
}

TEST(NtpMeasure, TheFilterKeepsTheSampleWithTheSmallestDelay)
{
    EXPECT_FALSE(ntp::BestSample({}));
    const std::vector<ntp::Sample> samples = {{500, 9000}, {-300, 4000}, {700, 4000}, {100, 12000}};
    const auto best = ntp::BestSample(samples);
    ASSERT_TRUE(best);
    EXPECT_EQ(best->offsetNs, -300);   // the first of the two smallest
    EXPECT_EQ(best->delayNs, 4000);
}

TEST(NtpCorrection, CaptionHasThreeDecimalsOrSaysTheClocksMatch)
{
    struct Case {
        ntp::Sample sample;
        const char* caption;
        const char* trayTip;
        std::int64_t shift;
    } const cases[] = {
        {{12 * kMillisecond, 2 * kMillisecond}, "+ 0.012 s", "Clock adjusted + 0.012 s", 12 * kMillisecond},
        {{-1'250 * kMillisecond, 2 * kMillisecond}, "- 1.250 s", "Clock adjusted - 1.250 s", -1'250 * kMillisecond},
        {{2'345'678'000, 0}, "+ 2.346 s", "Clock adjusted + 2.346 s", 2'345'678'000},
        {{-999'600'000, 0}, "- 1.000 s", "Clock adjusted - 1.000 s", -999'600'000},
        {{3'600 * kSecond, 0}, "+ 3600.000 s", "Clock adjusted + 3600.000 s", 3'600 * kSecond},
        // |theta| <= delta / 2: indistinguishable from zero, nothing to step.
        {{5 * kMillisecond, 10 * kMillisecond}, "Clocks Match!", "Clock is synchronized!", 0},
        {{-5 * kMillisecond, 10 * kMillisecond}, "Clocks Match!", "Clock is synchronized!", 0},
        {{0, 0}, "Clocks Match!", "Clock is synchronized!", 0},
        {{5 * kMillisecond + 1, 10 * kMillisecond}, "+ 0.005 s", "Clock adjusted + 0.005 s", 5 * kMillisecond + 1},
        {{400'000, 0}, "+ 0.000 s", "Clock adjusted + 0.000 s", 400'000},
    };
    for (const Case& c : cases) {
        const ntp::NtpCorrection correction = ntp::CorrectionOf(c.sample);
        EXPECT_EQ(correction.caption, c.caption);
        EXPECT_EQ(correction.trayTip, c.trayTip);
        EXPECT_EQ(correction.shiftNanoseconds, c.shift) << c.caption;
    }
}

} // namespace
