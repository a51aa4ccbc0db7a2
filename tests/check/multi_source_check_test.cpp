// Several sources at once on fake transports and one fake scheduler: all are
// asked before any answers, each keeps its own retries, and the selection
// decides once the last has ended.
#include "check/multi_source_check.h"
#include "check/ntp_protocol.h"
#include "check/rfc868_protocol.h"

#include "fakes/fake_precise_clock.h"
#include "fakes/fake_scheduler.h"
#include "fakes/fake_transport.h"
#include "net/ntp_packet.h"
#include "net/timestamp.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kMs = 1'000'000;
constexpr std::int64_t kSecond = 1'000 * kMs;

// A server's reply to `request` stamped `serverTime`, no root delay or dispersion.
std::string ntpReplyTo(const std::string& request, std::int64_t serverTime)
{
    std::string packet(48, '\0');
    auto put64 = [&](std::size_t at, std::uint64_t value) {
        for (int i = 0; i < 8; ++i)
            packet[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (56 - 8 * i));
    };
    packet[0] = 0x24;
    packet[1] = 2;
    packet.replace(24, 8, request.substr(40, 8));
    put64(32, ntp::NtpFromUnixNanoseconds(serverTime));
    put64(40, ntp::NtpFromUnixNanoseconds(serverTime));
    return packet;
}

struct Bench {
    explicit Bench(bool ntp = true, int retries = 0)
        : check(scheduler,
                [this] {
                    auto transport = std::make_unique<fakes::FakeTransport>();
                    transports.push_back(transport.get());
                    return transport;
                },
                [this, ntp]() -> std::unique_ptr<check::CheckProtocol> {
                    if (ntp)
                        return std::make_unique<check::NtpProtocol>(clock);
                    return std::make_unique<check::Rfc868Protocol>(check::SocketKind::Stream);
                },
                setup(ntp, retries), events())
    {
    }
    check::MultiSourceSetup setup(bool ntp, int retries)
    {
        check::MultiSourceSetup s;
        s.port = ntp ? "ntp" : "time";
        s.retries = retries;
        s.earliestServerTime = 0;
        s.localNow = [this] { return check::LocalReading{clock.realtime, 0}; };
        return s;
    }
    check::MultiSourceEvents events()
    {
        check::MultiSourceEvents e;
        e.log = [this](int number, const std::string& line) { lines.push_back(std::to_string(number) + line); };
        e.sourceEnded = [this](const check::SourceEnd& end) { endedOrder.push_back(end.number); };
        e.finished = [this](const check::MultiSourceResult& r) {
            ++finishes;
            result = r;
        };
        return e;
    }
    void startAddresses(int count)
    {
        std::vector<check::Source> sources;
        for (int i = 0; i < count; ++i) {
            const std::string address = "127.0.0." + std::to_string(i + 2);
            sources.push_back({"pool.example", address, {}});
        }
        sendsNow();
        check.start(sources);
        for (int i = 0; i < count; ++i)
            transports[static_cast<std::size_t>(i)]->connect("127.0.0." + std::to_string(i + 2));
    }
    // Source `index` answers `roundTrip` after the last request went out
    // (answers come in order of their round trips), its clock `lead` ahead.
    void answer(std::size_t index, std::int64_t roundTrip, std::int64_t lead)
    {
        clock.realtime = sentAt + roundTrip;
        clock.monotonic = sentMonotonic + roundTrip;
        fakes::FakeTransport& transport = *transports[index];
        transport.arrive(ntpReplyTo(transport.sent.back(), sentAt + roundTrip / 2 + lead));
    }
    // The requests go out now, as far as the fake clock tells.
    void sendsNow()
    {
        sentAt = clock.realtime;
        sentMonotonic = clock.monotonic;
    }
    std::string verdicts() const
    {
        std::string text;
        for (const check::Verdict verdict : result.selection.verdicts)
            text += std::string(check::VerdictText(verdict)) + ";";
        return text;
    }

    fakes::FakePreciseClock clock;
    std::int64_t sentAt = 0;
    std::int64_t sentMonotonic = 0;
    fakes::FakeScheduler scheduler;
    std::vector<fakes::FakeTransport*> transports;
    std::vector<std::string> lines;
    std::vector<int> endedOrder;
    int finishes = 0;
    check::MultiSourceResult result;
    check::MultiSourceCheck check;
};

TEST(MultiSourceCheck, AllAreAskedAtOnceAndTheLiarIsOutvoted)
{
    Bench bench;
    bench.startAddresses(4);
    // Every request is out before the first answer.
    for (const fakes::FakeTransport* transport : bench.transports)
        EXPECT_EQ(transport->sent.size(), 1u);
    bench.answer(2, 4 * kMs, 5 * kSecond);   // the liar, and the first to answer
    bench.answer(0, 8 * kMs, 1 * kMs);
    bench.answer(3, 20 * kMs, -3 * kMs);
    EXPECT_EQ(bench.finishes, 0);
    bench.answer(1, 30 * kMs, 4 * kMs);
    ASSERT_EQ(bench.finishes, 1);
    EXPECT_EQ(bench.endedOrder, (std::vector<int>{3, 1, 4, 2}));
    EXPECT_EQ(bench.verdicts(), "selected;truechimer;falseticker;truechimer;");
    ASSERT_TRUE(bench.result.combined);
    EXPECT_EQ(bench.result.combined->offsetNs, 1 * kMs);
    // Half its own round trip: 1 ± 4 ms lies within 4 ± 15 and -3 ± 10.
    EXPECT_EQ(bench.result.combined->errorBoundNs, 4 * kMs);
    EXPECT_EQ(bench.result.sources[2].address, "127.0.0.4");
    EXPECT_EQ(bench.result.sources[2].server, "pool.example");
    // Each engine's lines carry its source's number.
    EXPECT_EQ(bench.lines.front(), "1>Looking up host");
    EXPECT_NE(std::find(bench.lines.begin(), bench.lines.end(), "4>Connecting to 127.0.0.5"), bench.lines.end());
}

// One shared scheduler: a source that starts or ends cancels no other
// source's wait, and a retry keeps its source's number.
TEST(MultiSourceCheck, EachSourceKeepsItsOwnRetries)
{
    Bench bench(true, 1);
    bench.startAddresses(2);
    bench.transports[0]->receiver().transportTimedOut();   // both wait to retry
    bench.transports[1]->receiver().transportTimedOut();
    // The first retry starts its engine, which cancels its own waits only.
    ASSERT_TRUE(bench.scheduler.runPending());
    ASSERT_EQ(bench.transports[0]->opens.size(), 2u);
    ASSERT_EQ(bench.transports[1]->opens.size(), 2u);
    EXPECT_EQ(bench.transports[1]->opens[1].host, "127.0.0.3");
    bench.sendsNow();
    bench.transports[0]->connect("127.0.0.2");
    bench.transports[1]->connect("127.0.0.3");
    EXPECT_EQ(bench.lines.back(), "2>Connecting to 127.0.0.3");
    bench.answer(0, 2 * kMs, 0);
    EXPECT_EQ(bench.finishes, 0);
    bench.answer(1, 2 * kMs, 0);
    EXPECT_EQ(bench.finishes, 1);
    EXPECT_TRUE(bench.result.selection.majority);
}

TEST(MultiSourceCheck, StopEndsEverySourceOnceIncludingOneWaitingToRetry)
{
    Bench bench(true, 1);
    bench.startAddresses(3);
    bench.answer(2, 2 * kMs, 0);
    bench.transports[0]->receiver().transportTimedOut();   // waits to retry
    bench.check.stop(">Stopped");
    ASSERT_EQ(bench.finishes, 1);
    EXPECT_FALSE(bench.check.running());
    EXPECT_EQ(bench.verdicts(), "failed;failed;selected;");
    EXPECT_EQ(bench.result.sources[0].failure.reason, "Stopped");
    bench.scheduler.runPending();   // the retry was called off
    EXPECT_EQ(bench.transports[0]->opens.size(), 1u);
}

TEST(MultiSourceCheck, ANameWithoutAddressEndsAtOnceAndAloneFinishesInsideStart)
{
    Bench bench;
    bench.check.start({{"nowhere.invalid", "nowhere.invalid", "host not found"}});
    EXPECT_EQ(bench.finishes, 1);
    EXPECT_EQ(bench.lines, (std::vector<std::string>{"1>Error: host not found."}));
    EXPECT_EQ(bench.result.selection.answered, 0);
    EXPECT_TRUE(bench.transports.empty());
}

// A step before each engine (a key exchange, say), finished by the test.
struct FakePreparation : check::SourcePreparation {
    explicit FakePreparation(platform::PreciseClock& clock) : ntp(clock) {}
    check::CheckProtocol& protocol() override { return ntp; }
    void start(const check::Source&, Log, Done then) override { done = std::move(then); }
    void cancel() override { cancelled = true; }
    bool readyToAsk() const override { return true; }

    check::NtpProtocol ntp;
    Done done;
    bool cancelled = false;
};

struct PreparedBench : Bench {
    PreparedBench()
    {
        check.prepareSourcesWith([this] {
            auto preparation = std::make_unique<FakePreparation>(clock);
            preparations.push_back(preparation.get());
            return preparation;
        });
    }
    std::vector<FakePreparation*> preparations;
};

// No engine asks before its preparation is done; a failed one ends its
// source with its reason, and the rest still decide.
TEST(MultiSourceCheck, EachSourcePreparesBeforeItsEngineAsks)
{
    PreparedBench bench;
    bench.startAddresses(3);
    ASSERT_EQ(bench.preparations.size(), 3u);
    EXPECT_TRUE(bench.transports[0]->opens.empty());
    bench.preparations[0]->done({{}, "127.0.0.9", "1234"});
    bench.preparations[1]->done({{}, "127.0.0.3", {}});
    bench.preparations[2]->done({"No TLS answer", {}, {}});
    EXPECT_EQ(bench.transports[0]->opens.at(0).host + " " + bench.transports[0]->opens[0].port, "127.0.0.9 1234");
    EXPECT_EQ(bench.transports[1]->opens.at(0).port, "ntp");   // none named: the check's port
    EXPECT_EQ(bench.lines.back(), "3>Error: No TLS answer.");
    bench.transports[0]->connect("127.0.0.9");
    bench.transports[1]->connect("127.0.0.3");
    bench.answer(0, 2 * kMs, 0);
    bench.answer(1, 2 * kMs, 0);
    ASSERT_EQ(bench.finishes, 1);
    EXPECT_EQ(bench.verdicts(), "selected;truechimer;failed;");
}

// A stop during preparations cancels them; one that lands late changes nothing.
TEST(MultiSourceCheck, StopCancelsPreparationsAndALateOneIsIgnored)
{
    PreparedBench bench;
    bench.startAddresses(2);
    bench.check.stop(">Stopped");
    ASSERT_EQ(bench.finishes, 1);
    EXPECT_TRUE(bench.preparations[0]->cancelled);
    bench.preparations[0]->done({{}, "127.0.0.2", {}});
    EXPECT_TRUE(bench.transports[0]->opens.empty());
    EXPECT_EQ(bench.finishes, 1);
}

// Addresses need no look-up: their sources are ready at once, each server once.
TEST(SourceAddresses, AnAddressGivenTwiceIsOneSource)
{
    check::SourceAddresses addresses;
    std::vector<check::Source> sources;
    addresses.start({"127.0.0.2", "[::1]", "127.0.0.2", "::1", "bad host"}, check::TransportKind::Datagram,
                    [&](std::vector<check::Source> found) { sources = std::move(found); });
    ASSERT_EQ(sources.size(), 3u);
    EXPECT_EQ(sources[0].host, "127.0.0.2");
    EXPECT_EQ(sources[1].server, "[::1]");
    EXPECT_EQ(sources[1].host, "::1");
    // Not a host at all: the transport refuses it in its own words.
    EXPECT_EQ(sources[2].host, "bad host");
}

// Whole seconds of the Time protocol: ±1 s, so 2 s apart still touch and 3 s do not.
TEST(MultiSourceCheck, TimeProtocolAnswersAgreeWithinTheirWholeSeconds)
{
    struct Case {
        std::int64_t secondSkew;
        bool majority;
    };
    for (const Case c : {Case{2, true}, Case{3, false}}) {
        Bench bench(false);
        bench.startAddresses(2);
        const std::int64_t now = bench.clock.realtime / kSecond;
        for (std::size_t i = 0; i < 2; ++i) {
            const auto count = static_cast<std::uint32_t>(now + (i == 1 ? c.secondSkew : 0) + kSecondsFrom1900To1970);
            bench.transports[i]->arrive({static_cast<char>(count >> 24), static_cast<char>(count >> 16),
                                         static_cast<char>(count >> 8), static_cast<char>(count)});
        }
        ASSERT_EQ(bench.finishes, 1);
        EXPECT_EQ(bench.result.selection.majority, c.majority) << c.secondSkew;
    }
}

} // namespace
