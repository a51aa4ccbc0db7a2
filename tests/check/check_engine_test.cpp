// The check engine on a fake transport and scheduler: what it logs, when it
// asks, retries, waits and gives up, with no socket and no real second.
#include "check/check_engine.h"
#include "check/ntp_protocol.h"
#include "check/rfc868_protocol.h"

#include "fakes/fake_kiss_store.h"
#include "fakes/fake_precise_clock.h"
#include "fakes/fake_scheduler.h"
#include "fakes/fake_transport.h"
#include "net/ntp_packet.h"
#include "net/timestamp.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kSecond = 1'000 * kMs;
constexpr std::int64_t kNow = fakes::FakePreciseClock::kStart;

std::string timestampOf(std::int64_t unixSeconds)
{
    const auto count = static_cast<std::uint32_t>(unixSeconds + kSecondsFrom1900To1970);
    return {static_cast<char>(count >> 24), static_cast<char>(count >> 16), static_cast<char>(count >> 8),
            static_cast<char>(count)};
}

// An NTP reply to `request`: the server's receive and transmit times.
std::string ntpReplyTo(const std::string& request, std::int64_t t2, std::int64_t t3, int stratum = 2,
                       const char* referenceId = "\x7f\0\0\x01")
{
    std::string packet(48, '\0');
    auto put64 = [&](std::size_t at, std::uint64_t value) {
        for (int i = 0; i < 8; ++i)
            packet[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (56 - 8 * i));
    };
    packet[0] = stratum == 0 ? static_cast<char>(0xE4) : 0x24;
    packet[1] = static_cast<char>(stratum);
    packet.replace(12, 4, std::string(referenceId, 4));
    packet.replace(24, 8, request.substr(40, 8));   // the origin echoes our transmit bits
    put64(32, ntp::NtpFromUnixNanoseconds(t2));
    put64(40, ntp::NtpFromUnixNanoseconds(t3));
    return packet;
}

// An engine on fakes, with every event written down.
struct Bench {
    explicit Bench(bool ntp = false, int samples = 1)
        : ntpProtocol(clock, samples),
          engine(transport, scheduler, ntp ? static_cast<check::CheckProtocol&>(ntpProtocol) : timeProtocol)
    {
        check::CheckEvents e;
        e.log = [this](int number, const std::string& line) { lines.push_back(std::to_string(number) + line); };
        e.gauge = [this](int amount) { gauge.push_back(amount); };
        e.tip = [this](const std::string& tip) { tips.push_back(tip); };
        e.result = [this](const check::CheckResult& r) { result = r; };
        e.ended = [this](check::Outcome outcome, const check::Failure& f) {
            endings.push_back(outcome);
            failure = f;
        };
        engine.setEvents(e);
        engine.configure(ntp ? "ntp" : "time", 10);
        engine.rememberKissesIn(&kisses, [] { return kNow / kSecond; });
        engine.refuseServerTimesBefore(0);   // the fake clock's 2026 may predate the build
    }
    // Answers the last NTP request after `roundTrip`, the server `lead` ahead.
    void answerNtp(std::int64_t roundTrip, std::int64_t lead, std::optional<std::int64_t> arrivalNs = {})
    {
        const std::int64_t sent = clock.realtime;
        clock.advance(roundTrip);
        const std::int64_t serverTime = sent + roundTrip / 2 + lead;
        transport.arrive(ntpReplyTo(transport.sent.back(), serverTime, serverTime), arrivalNs);
    }

    fakes::FakePreciseClock clock;
    fakes::FakeTransport transport;
    fakes::FakeScheduler scheduler;
    fakes::FakeKissStore kisses;
    check::Rfc868Protocol timeProtocol{check::SocketKind::Stream};
    check::NtpProtocol ntpProtocol;
    check::CheckEngine engine;
    std::vector<std::string> lines, tips;
    std::vector<int> gauge;
    std::vector<check::Outcome> endings;
    check::Failure failure;
    std::optional<check::CheckResult> result;
};

TEST(CheckEngine, AnRfc868AnswerInPiecesIsOneResultWithTheDocumentedLog)
{
    Bench bench;
    bench.engine.start("time.example");
    ASSERT_EQ(bench.transport.opens.size(), 1u);
    EXPECT_EQ(bench.transport.opens[0].port, "time");
    bench.transport.connect();
    EXPECT_TRUE(bench.transport.armed);   // the answer must come in time
    const std::string answer = timestampOf(1'800'000'000);
    bench.transport.arrive(answer.substr(0, 1));
    bench.transport.arrive(answer.substr(1) + "extra");
    EXPECT_EQ(bench.lines, (std::vector<std::string>{"1>Looking up host", "1>Connecting to 192.0.2.1",
                                                     "1>Connected...", "1>Reading time"}));
    EXPECT_EQ(bench.gauge, (std::vector<int>{15, 15, 15, 20, 20, 15, 15}));
    EXPECT_EQ(bench.tips, (std::vector<std::string>{"Connected...", "Reading time.."}));
    ASSERT_TRUE(bench.result);
    EXPECT_EQ(bench.result->serverUnixSeconds, 1'800'000'000);
    EXPECT_FALSE(bench.transport.isOpen());
    EXPECT_FALSE(bench.engine.running());
}

// How each way of ending shows: its last line, tip, and the failure's data.
TEST(CheckEngine, EachEndingHasItsLineTipAndReason)
{
    struct Case {
        const char* name;
        std::function<void(Bench&)> act;
        std::string lastLine;
        std::string tip;
        check::Outcome outcome;
        std::string detail;
    };
    const Case cases[] = {
        {"stop", [](Bench& b) { b.engine.stop(">Disconnected."); }, "1>Disconnected.", "", check::Outcome::Stopped, ""},
        {"look-up failed", [](Bench& b) { b.transport.receiver().transportFailed("host not found", true); },
         "1>Error: unable to create socket.", "Error: unable to create socket.", check::Outcome::Failed,
         "host not found"},
        {"refused", [](Bench& b) { b.transport.receiver().transportFailed("Connection refused", false); },
         "1>Connection refused", "Connection refused", check::Outcome::Failed, ""},
        {"closed empty",
         [](Bench& b) {
             b.transport.connect();
             b.transport.receiver().transportClosed();
         },
         "1>Connection closed by host.", "Connection closed by host.", check::Outcome::Failed, ""},
        {"closed half-way",
         [](Bench& b) {
             b.transport.connect();
             b.transport.arrive("ab");
             b.transport.receiver().transportClosed();
         },
         "1Error reading timestamp.", "Reading time..", check::Outcome::Failed, ""},
        {"before the build",
         [](Bench& b) {
             b.engine.refuseServerTimesBefore(1'700'000'000);
             b.transport.connect();
             b.transport.arrive(timestampOf(0));
         },
         "", "Error: server time refused", check::Outcome::Failed, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench bench;
        bench.engine.start("time.example");
        c.act(bench);
        if (!c.lastLine.empty())
            EXPECT_EQ(bench.lines.back(), c.lastLine);
        else
            EXPECT_EQ(bench.lines.back().rfind("1>Error: ", 0), 0u) << bench.lines.back();
        EXPECT_EQ(bench.tips.empty() ? "" : bench.tips.back(), c.tip);
        EXPECT_EQ(bench.endings, std::vector<check::Outcome>{c.outcome});
        EXPECT_EQ(bench.failure.reason, bench.lines.back().substr(bench.lines.back()[1] == '>' ? 2 : 1));
        EXPECT_EQ(bench.failure.detail, c.detail);
        EXPECT_FALSE(bench.result);
        EXPECT_FALSE(bench.transport.isOpen());
        // Notices after the end change nothing.
        const std::size_t lines = bench.lines.size();
        bench.transport.receiver().transportReadable();
        bench.transport.receiver().transportTimedOut();
        EXPECT_EQ(bench.lines.size(), lines);
    }
}

// The Time protocol retries at once; NTP backs off, each pause double the
// last, and a first request that is never answered still leads to a result.
TEST(CheckEngine, RetriesAfterATimeOutFollowTheProtocolsPauses)
{
    struct Case {
        bool ntp;
        std::vector<int> pauses;
    };
    for (const Case& c : {Case{false, {0, 0, 0}}, Case{true, {1000, 2000, 4000}}}) {
        SCOPED_TRACE(c.ntp ? "ntp" : "time");
        Bench bench(c.ntp);
        bench.engine.setRetriesLeft(3);
        bench.engine.start("server.example");
        for (int attempt = 1; attempt <= 4; ++attempt) {
            bench.transport.connect();
            bench.transport.receiver().transportTimedOut();
            bench.scheduler.runPending();
        }
        EXPECT_EQ(bench.scheduler.waits, c.pauses);
        EXPECT_EQ(bench.transport.opens.size(), 4u);
        EXPECT_EQ(bench.engine.checkNumber(), 4);
        EXPECT_EQ(bench.endings, std::vector<check::Outcome>{check::Outcome::Failed});
        EXPECT_EQ(bench.engine.attemptNumber(), 1);
        EXPECT_NE(std::find(bench.lines.begin(), bench.lines.end(), "3>Attempt #4"), bench.lines.end());
    }

    // NTP: the first request goes unanswered, the retry's answer is the result.
    Bench bench(true);
    bench.engine.setRetriesLeft(1);
    bench.engine.start("server.example");
    bench.transport.connect();
    ASSERT_EQ(bench.transport.sent.size(), 1u);
    bench.transport.receiver().transportTimedOut();
    EXPECT_FALSE(bench.engine.running());
    bench.scheduler.runPending();
    bench.transport.connect();
    ASSERT_EQ(bench.transport.sent.size(), 2u);
    EXPECT_NE(bench.transport.sent[0].substr(40), bench.transport.sent[1].substr(40));   // fresh transmit bits
    bench.answerNtp(20 * kMs, 3 * kSecond);
    ASSERT_TRUE(bench.result);
    EXPECT_EQ(bench.result->ntp->offsetNs, 3 * kSecond);
    EXPECT_EQ(bench.engine.checkNumber(), 2);
    EXPECT_EQ(bench.engine.attemptNumber(), 1);   // the next time-out starts a fresh run
}

TEST(CheckEngine, ACheckStartedDuringARetryPauseCallsTheRetryOff)
{
    Bench bench(true);
    bench.engine.setRetriesLeft(2);
    bench.engine.start("server.example");
    bench.transport.connect();
    bench.transport.receiver().transportTimedOut();
    bench.engine.start("other.example");   // the user's Connect during the pause
    bench.scheduler.runPending();
    EXPECT_EQ(bench.transport.opens.size(), 2u);
    EXPECT_EQ(bench.transport.opens.back().host, "other.example");
}

// The least delayed sample is kept even when another has the smaller offset;
// the kernel's arrival stamp, not the moment of reading, ends the exchange.
TEST(CheckEngine, NtpKeepsTheLeastDelayedSampleMeasuredToTheKernelsArrival)
{
    Bench bench(true, 3);
    bench.engine.start("server.example");
    bench.transport.connect();
    const std::int64_t roundTrips[] = {40 * kMs, 20 * kMs, 30 * kMs};
    const std::int64_t leads[] = {2 * kMs, 9 * kMs, 5 * kMs};
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            EXPECT_FALSE(bench.transport.armed);   // no time-out runs during the wait
            bench.clock.advance(2 * kSecond);
            ASSERT_TRUE(bench.scheduler.runPending());
            EXPECT_TRUE(bench.transport.armed);
        }
        bench.answerNtp(roundTrips[i], leads[i]);
    }
    EXPECT_EQ(bench.scheduler.waits, (std::vector<int>{2000, 2000}));
    ASSERT_TRUE(bench.result);
    EXPECT_EQ(bench.result->ntp->delayNs, 20 * kMs);
    EXPECT_EQ(bench.result->ntp->offsetNs, 9 * kMs);
    EXPECT_EQ(bench.result->ntp->samples, 3);

    // The reply sat 7 ms in the socket before it was read: not part of the
    // exchange. Read at 30 ms the offset would be 0; it arrived at 23 ms.
    Bench stamped(true);
    stamped.engine.start("server.example");
    stamped.transport.connect();
    stamped.answerNtp(30 * kMs, 0, kNow + 23 * kMs);
    ASSERT_TRUE(stamped.result);
    EXPECT_EQ(stamped.result->ntp->delayNs, 23 * kMs);
    EXPECT_EQ(stamped.result->ntp->offsetNs, 3'500'000);
}

// Datagrams that do not answer the request neither end the wait nor fill the
// log: one ">Reading time" and one note per request, however many come.
TEST(CheckEngine, AFloodOfForgedDatagramsLeavesOneLineAndTheAnswerStillCounts)
{
    Bench bench(true);
    bench.engine.start("server.example");
    bench.transport.connect();
    std::string forged = ntpReplyTo(bench.transport.sent.back(), kNow, kNow);
    forged[24] = static_cast<char>(forged[24] ^ 1);
    for (int i = 0; i < 10'000; ++i)
        bench.transport.incoming.push_back({check::Received::Status::Data, i % 2 ? forged : std::string(20, 'x'), {}, {}});
    for (int i = 0; i < 200 && !bench.transport.incoming.empty(); ++i)
        bench.transport.receiver().transportReadable();
    EXPECT_TRUE(bench.transport.incoming.empty());
    EXPECT_TRUE(bench.engine.running());
    bench.answerNtp(10 * kMs, kSecond);
    ASSERT_TRUE(bench.result);
    const auto count = [&](const std::string& prefix) {
        return std::count_if(bench.lines.begin(), bench.lines.end(),
                             [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(count("1>Reading time"), 1);
    EXPECT_LE(count("1>Note: "), 1);
}

TEST(CheckEngine, ADatagramTransportMovingToTheNextAddressIsAskedAgain)
{
    Bench bench(true);
    bench.engine.start("pool.example");
    bench.transport.connect("[2001:db8::1]");
    bench.transport.receiver().transportConnecting("192.0.2.7");
    bench.transport.receiver().transportConnected();
    EXPECT_EQ(bench.transport.sent.size(), 2u);
    bench.answerNtp(10 * kMs, 0);
    EXPECT_TRUE(bench.result);
}

// A server that refused access is not asked again: the next check says so at once.
TEST(CheckEngine, KissOfDeathDenyHoldsTheServerBackForLaterChecks)
{
    Bench bench(true);
    bench.engine.start("strict.example");
    bench.transport.connect();
    bench.transport.arrive(ntpReplyTo(bench.transport.sent.back(), kNow, kNow, 0, "DENY"));
    ASSERT_EQ(bench.kisses.remembered.size(), 1u);
    EXPECT_EQ(bench.kisses.remembered[0].code, "DENY");
    EXPECT_EQ(bench.kisses.remembered[0].port, "ntp");
    bench.engine.start("strict.example");
    EXPECT_EQ(bench.transport.opens.size(), 1u);   // nothing sent the second time
    EXPECT_EQ(bench.lines.back(), "2>Error: strict.example refused access (kiss-o'-death DENY).");
    EXPECT_EQ(bench.endings.size(), 2u);
    // The Time protocol has no such thing.
    Bench time;
    time.kisses.held["strict.example time"] = "held";
    time.engine.start("strict.example");
    EXPECT_EQ(time.transport.opens.size(), 1u);
}

} // namespace
