// The NTP protocol over a fake clock: exact offsets and delays from hand-made
// replies, what is ignored, refused or taken, the least delayed of several
// samples.
#include "check/ntp_protocol.h"

#include "fakes/fake_precise_clock.h"
#include "net/ntp_packet.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kSecond = 1'000 * kMs;
using fakes::FakePreciseClock;

constexpr std::int64_t kT1 = FakePreciseClock::kStart;

// Datagrams as a connected UDP socket gives them, read one at a time.
struct FakeDatagrams {
    std::deque<std::string> queued;
};

check::Reading consumeNext(check::NtpProtocol& protocol, FakeDatagrams& socket)
{
    if (socket.queued.empty())
        return check::Reading::needMore();
    check::Received received{check::Received::Status::Data, socket.queued.front(), {}, {}};
    socket.queued.pop_front();
    return protocol.consume(received);
}

std::uint64_t transmitBitsOf(const std::string& request)
{
    std::uint64_t bits = 0;
    for (int i = 40; i < 48; ++i)
        bits = (bits << 8) | static_cast<std::uint8_t>(request[static_cast<std::size_t>(i)]);
    return bits;
}

struct ReplyFields {
    std::int64_t receiveNs = 0;    // T2
    std::int64_t transmitNs = 0;   // T3
    int firstByte = 0x24;          // leap 0, version 4, mode 4
    int stratum = 2;
    std::string referenceId = std::string("\x7f\x00\x00\x01", 4);
    bool echoOrigin = true;
};

std::string replyTo(const std::string& request, const ReplyFields& fields)
{
    std::string packet(48, '\0');
    auto put64 = [&](std::size_t at, std::uint64_t value) {
        for (int i = 0; i < 8; ++i)
            packet[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (56 - 8 * i));
    };
    packet[0] = static_cast<char>(fields.firstByte);
    packet[1] = static_cast<char>(fields.stratum);
    packet.replace(12, 4, fields.referenceId.substr(0, 4));
    put64(24, transmitBitsOf(request) ^ (fields.echoOrigin ? 0 : 1));
    put64(32, ntp::NtpFromUnixNanoseconds(fields.receiveNs));
    put64(40, fields.transmitNs == 0 ? 0 : ntp::NtpFromUnixNanoseconds(fields.transmitNs));
    return packet;
}

// A server 5.010 s ahead that holds the request for 1 ms; the reply arrives
// 30 ms after the request left: theta = (5.010 + 4.981) / 2, delta = 29 ms.
ReplyFields aheadBy5s(std::int64_t sentAt)
{
    return {sentAt + 5010 * kMs, sentAt + 5011 * kMs};
}

TEST(NtpProtocol, OneExchangeGivesTheExactOffsetDelayAndServerFields)
{
    FakePreciseClock clock;
    FakeDatagrams socket;
    check::NtpProtocol protocol(clock);
    protocol.beginAttempt();
    const std::string request = *protocol.request();
    ASSERT_EQ(request.size(), 48u);
    EXPECT_EQ(request[0], 0x23);   // version 4, client
    EXPECT_EQ(transmitBitsOf(request), clock.bits * 0x9E3779B97F4A7C15ull);
    EXPECT_NE(transmitBitsOf(*protocol.request()), transmitBitsOf(request));   // new bits each time

    const std::string second = *protocol.request();
    ReplyFields fields = aheadBy5s(clock.realtime);
    fields.stratum = 1;
    fields.referenceId = std::string("GPS\0", 4);
    clock.advance(30 * kMs);
    socket.queued.push_back(replyTo(second, fields));
    const check::Reading reading = consumeNext(protocol, socket);
    ASSERT_EQ(reading.kind, check::Reading::Kind::Done);
    ASSERT_TRUE(reading.result.ntp);
    const check::NtpReading& ntp = *reading.result.ntp;
    EXPECT_EQ(ntp.offsetNs, 4'995'500'000);
    EXPECT_EQ(ntp.delayNs, 29 * kMs);
    EXPECT_EQ(ntp.stratum, 1);
    EXPECT_EQ(ntp.referenceId, "GPS");
    EXPECT_EQ(ntp.leap, 0);
    EXPECT_EQ(ntp.samples, 1);
    EXPECT_TRUE(reading.result.subSecond);
    EXPECT_EQ(reading.result.serverUnixNanoseconds, clock.realtime + ntp.offsetNs);
    EXPECT_EQ(reading.result.serverUnixSeconds, reading.result.serverUnixNanoseconds / kSecond);
    EXPECT_TRUE(reading.line.empty());   // one sample: no sample line
}

// The real-time clock stepped between request and reply moves the offset
// (it is measured against the clock as it now reads), never the delay.
TEST(NtpProtocol, AClockStepDuringTheExchangeLeavesTheDelayAlone)
{
    for (const std::int64_t step : {std::int64_t{0}, 100 * kSecond, -3600 * kSecond}) {
        SCOPED_TRACE(step);
        FakePreciseClock clock;
        FakeDatagrams socket;
        check::NtpProtocol protocol(clock);
        protocol.beginAttempt();
        const std::string request = *protocol.request();
        const ReplyFields fields = aheadBy5s(clock.realtime);
        clock.advance(30 * kMs);
        clock.realtime += step;
        socket.queued.push_back(replyTo(request, fields));
        const check::Reading reading = consumeNext(protocol, socket);
        ASSERT_EQ(reading.kind, check::Reading::Kind::Done);
        EXPECT_EQ(reading.result.ntp->delayNs, 29 * kMs);
        EXPECT_EQ(reading.result.ntp->offsetNs, 4'995'500'000 - step);
    }
}

TEST(NtpProtocol, RepliesThatDoNotAnswerAreIgnoredAndBadOnesRefused)
{
    struct Case {
        const char* name;
        ReplyFields fields;
        check::Reading::Kind kind;
        std::string line;
        std::string tip;
    };
    ReplyFields wrongOrigin = aheadBy5s(kT1);
    wrongOrigin.echoOrigin = false;
    ReplyFields kiss = aheadBy5s(kT1);
    kiss.stratum = 0;
    kiss.firstByte = 0xE4;
    kiss.referenceId = "RATE";
    ReplyFields leap3 = aheadBy5s(kT1);
    leap3.firstByte = 0xE4;
    ReplyFields noTransmit = aheadBy5s(kT1);
    noTransmit.transmitNs = 0;
    const Case cases[] = {
        {"wrong origin", wrongOrigin, check::Reading::Kind::NeedMore,
         ">Note: a reply that does not answer our request was ignored.", ""},
        {"kiss", kiss, check::Reading::Kind::Failed,
         ">Error: the server sent kiss-o'-death RATE: it asks us to slow down.",
         "The server sent kiss-o'-death RATE: it asks us to slow down"},
        {"leap 3", leap3, check::Reading::Kind::Failed, ">Error: the server is not synchronised (leap indicator 3).",
         "The server is not synchronised (leap indicator 3)"},
        {"no transmit", noTransmit, check::Reading::Kind::Failed, ">Error: the reply carries no transmit time.",
         "The reply carries no transmit time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakePreciseClock clock;
        FakeDatagrams socket;
        check::NtpProtocol protocol(clock);
        protocol.beginAttempt();
        const std::string request = *protocol.request();
        socket.queued.push_back(replyTo(request, c.fields));
        const check::Reading reading = consumeNext(protocol, socket);
        EXPECT_EQ(reading.kind, c.kind);
        EXPECT_EQ(reading.line, c.line);
        EXPECT_EQ(reading.tip, c.tip);
    }
}

TEST(NtpProtocol, AForgedReplyNeitherEndsTheWaitNorFloodsTheLog)
{
    FakePreciseClock clock;
    FakeDatagrams socket;
    check::NtpProtocol protocol(clock);
    protocol.beginAttempt();
    const std::string request = *protocol.request();
    ReplyFields forged = aheadBy5s(clock.realtime);
    forged.echoOrigin = false;
    const ReplyFields honest = aheadBy5s(clock.realtime);
    clock.advance(30 * kMs);
    socket.queued = {replyTo(request, forged), replyTo(request, forged)};
    EXPECT_FALSE(consumeNext(protocol, socket).line.empty());
    EXPECT_EQ(consumeNext(protocol, socket).line, "");   // one note per request
    EXPECT_EQ(consumeNext(protocol, socket).kind, check::Reading::Kind::NeedMore);   // nothing waiting
    socket.queued = {replyTo(request, honest), replyTo(request, honest)};
    EXPECT_EQ(consumeNext(protocol, socket).kind, check::Reading::Kind::Done);
    // A duplicate of the answer already taken asks for nothing.
    EXPECT_EQ(consumeNext(protocol, socket).kind, check::Reading::Kind::NeedMore);
    EXPECT_EQ(protocol.resultSoFar()->ntp->samples, 1);
}

TEST(NtpProtocol, SamplesAreTakenTwoSecondsApartAndTheLeastDelayedWins)
{
    FakePreciseClock clock;
    FakeDatagrams socket;
    check::NtpProtocol protocol(clock, 3);
    protocol.beginAttempt();
    EXPECT_FALSE(protocol.resultSoFar());
    // Round trips of 40, 20 and 30 ms; the server's offset differs a little each time.
    const std::int64_t roundTrips[] = {40 * kMs, 20 * kMs, 30 * kMs};
    const std::int64_t leads[] = {7 * kMs, 9 * kMs, 5 * kMs};   // the least delayed is not the least offset
    check::Reading reading;
    for (int i = 0; i < 3; ++i) {
        const std::string request = *protocol.request();
        const std::int64_t sent = clock.realtime;
        clock.advance(roundTrips[i]);
        socket.queued.push_back(replyTo(request, {sent + roundTrips[i] / 2 + leads[i], sent + roundTrips[i] / 2 + leads[i]}));
        reading = consumeNext(protocol, socket);
        EXPECT_EQ(reading.line.rfind(">Sample " + std::to_string(i + 1) + " of 3: offset +0.00", 0), 0u) << reading.line;
        if (i < 2) {
            ASSERT_EQ(reading.kind, check::Reading::Kind::SampleTaken);
            EXPECT_EQ(reading.waitMs, check::NtpProtocol::kSampleSpacingMs);
            clock.advance(2 * kSecond);
        }
    }
    ASSERT_EQ(reading.kind, check::Reading::Kind::Done);
    EXPECT_EQ(reading.result.ntp->delayNs, 20 * kMs);
    EXPECT_EQ(reading.result.ntp->offsetNs, 9 * kMs);
    EXPECT_EQ(reading.result.ntp->samples, 3);

    // A new check forgets the old samples; the count is kept within 1..8.
    protocol.beginAttempt();
    EXPECT_FALSE(protocol.resultSoFar());
    for (const auto& [asked, kept] : {std::pair{0, 1}, {-5, 1}, {8, 8}, {9, 8}, {4, 4}}) {
        protocol.setSamples(asked);
        EXPECT_EQ(protocol.samples(), kept) << asked;
    }
}

} // namespace
