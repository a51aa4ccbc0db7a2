// The check engine's events, and its protocol seam: what a protocol sends,
// when, and how its verdict ends the check.
#include "check/check_engine.h"
#include "check/rfc868_protocol.h"

#include "app/time_peer.h"
#include "net/loopback.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <memory>
#include <optional>
#include <string>
#include <vector>

using testing_support::LoopbackDatagramSocket;
using testing_support::LoopbackListener;
using testing_support::pumpFor;
using testing_support::pumpUntil;
using testing_support::TimePeer;

namespace {

TimestampBytes TimestampOf(std::int64_t unixSeconds)
{
    const auto count = static_cast<std::uint32_t>(unixSeconds + kSecondsFrom1900To1970);
    return {static_cast<std::uint8_t>(count >> 24), static_cast<std::uint8_t>(count >> 16),
            static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
}

// Every event the engine reports, written down in order.
struct Recorder {
    std::vector<std::string> lines, tips;
    std::vector<int> gauge;
    std::vector<check::Outcome> endings;
    std::optional<check::CheckResult> result;

    check::CheckEvents events()
    {
        check::CheckEvents e;
        e.log = [this](int number, const std::string& line) { lines.push_back(std::to_string(number) + line); };
        e.gauge = [this](int amount) { gauge.push_back(amount); };
        e.tip = [this](const std::string& tip) { tips.push_back(tip); };
        e.result = [this](const check::CheckResult& r) { result = r; };
        e.ended = [this](check::Outcome outcome) { endings.push_back(outcome); };
        return e;
    }
    bool over() const { return result || !endings.empty(); }
};

// A stand-in protocol: sends "ping" and takes a reply of "pong" as 1000 s past
// the epoch; anything else is refused with a line and a tip.
class PingProtocol : public check::CheckProtocol {
public:
    explicit PingProtocol(check::SocketKind kind) : kind_(kind) {}
    check::SocketKind socketKind() const override { return kind_; }
    void beginAttempt() override { received_.clear(); }
    std::optional<std::string> request() override
    {
        ++requests;
        return std::string("ping");
    }
    check::Reading consume(TSocketBase& socket) override
    {
        char buffer[16];
        const int count = socket.Read(buffer, sizeof buffer);
        received_.append(buffer, count);
        if (received_.size() < 4)
            return check::Reading::needMore();
        if (received_ != "pong")
            return check::Reading::failed(">Bad answer: " + received_, "Bad answer");
        check::CheckResult result;
        result.serverUnixSeconds = 1000;
        result.serverUnixNanoseconds = 1000000000123;
        result.subSecond = true;
        return check::Reading::done(result);
    }
    bool partial() const override { return !received_.empty(); }
    std::string brokenAnswerLine() const override { return "Broken answer."; }
    int requests = 0;

private:
    check::SocketKind kind_;
    std::string received_;
};

// A one-shot loopback peer: reads what the client sends, answers `reply`.
class EchoPeer {
public:
    EchoPeer(bool datagram, std::string reply) : datagram_(datagram), reply_(std::move(reply))
    {
        thread_ = std::thread([this] { serve(); });
    }
    ~EchoPeer() { thread_.join(); }
    std::uint16_t port() const { return datagram_ ? udp_.port() : listener_.port(); }
    std::string heard;

private:
    void serve()
    {
        const int fd = datagram_ ? udp_.fd() : listener_.fd();
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 10000) <= 0)
            return;   // bounded: one exchange within 10 s
        char buffer[64];
        if (datagram_) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const auto count = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
            heard.assign(buffer, count > 0 ? count : 0);
            ::sendto(fd, reply_.data(), reply_.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
            return;
        }
        const int peer = listener_.accept();
        pollfd client{peer, POLLIN, 0};
        if (::poll(&client, 1, 10000) > 0) {
            const auto count = ::recv(peer, buffer, sizeof buffer, 0);
            heard.assign(buffer, count > 0 ? count : 0);
            ::send(peer, reply_.data(), reply_.size(), MSG_NOSIGNAL);
        }
        pollfd closing{peer, POLLIN, 0};
        ::poll(&closing, 1, 2000);   // until the client closes, or 2 s
        ::close(peer);
    }

    bool datagram_;
    std::string reply_;
    LoopbackListener listener_;
    LoopbackDatagramSocket udp_;
    std::thread thread_;
};

TEST(CheckEngine, AnRfc868AnswerOverTcpIsReportedAsEventsAndAResult)
{
    const std::int64_t server = QDateTime(QDate(2026, 12, 8), QTime(12, 0, 5), Qt::UTC).toSecsSinceEpoch();
    TimePeer peer(TimePeer::Answer::Whole, TimestampOf(server));
    TClientSocket socket;
    check::Rfc868Protocol protocol(check::SocketKind::Stream);
    Recorder recorder;
    check::CheckEngine engine(socket, protocol, recorder.events());
    engine.configure(std::to_string(peer.port()), 5);
    engine.start("127.0.0.1");
    ASSERT_TRUE(pumpUntil([&] { return recorder.over(); }, 10000));
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"1>Looking up host", "1>Connecting to 127.0.0.1",
                                                        "1>Connected...", "1>Reading time"}));
    // Each progress code (look-up, connect, connected, received) is a small
    // step; the connection and the reading are the large ones.
    EXPECT_EQ(recorder.gauge, (std::vector<int>{15, 15, 15, 20, 20, 15}));
    EXPECT_EQ(recorder.tips, (std::vector<std::string>{"Connected...", "Reading time.."}));
    ASSERT_TRUE(recorder.result);
    EXPECT_EQ(recorder.result->serverUnixSeconds, server);
    EXPECT_EQ(recorder.result->serverUnixNanoseconds, server * 1000000000);
    EXPECT_FALSE(recorder.result->subSecond);
    EXPECT_TRUE(recorder.endings.empty());   // a completed check is the front end's to end
    EXPECT_FALSE(engine.running());
    EXPECT_FALSE(socket.Armed());
}

// A protocol that speaks first: the request goes out once the socket can
// carry it, and the protocol's verdict ends the check without a retry.
TEST(CheckEngine, AProtocolsRequestAndVerdictOverEitherSocketKind)
{
    struct Case {
        bool datagram;
        std::string reply;
        bool completes;
        std::string lastLine;
    };
    const Case cases[] = {
        {false, "pong", true, "1>Reading time"},
        {true, "pong", true, "1>Reading time"},
        {false, "pang", false, "1>Bad answer: pang"},
        {true, "pang", false, "1>Bad answer: pang"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.datagram ? "udp " : "tcp ") + c.reply);
        EchoPeer peer(c.datagram, c.reply);
        TClientSocket socket;
        PingProtocol protocol(c.datagram ? check::SocketKind::Datagram : check::SocketKind::Stream);
        Recorder recorder;
        check::CheckEngine engine(socket, protocol, recorder.events());
        engine.configure(std::to_string(peer.port()), 5);
        engine.retriesLeft = 3;
        engine.start("127.0.0.1");
        ASSERT_TRUE(pumpUntil([&] { return recorder.over(); }, 10000));
        EXPECT_EQ(recorder.lines.back(), c.lastLine);
        EXPECT_EQ(protocol.requests, 1);
        EXPECT_EQ(recorder.result.has_value(), c.completes);
        if (c.completes) {
            EXPECT_EQ(recorder.result->serverUnixNanoseconds, 1000000000123);
            EXPECT_TRUE(recorder.endings.empty());
        } else {
            EXPECT_EQ(recorder.endings, std::vector<check::Outcome>{check::Outcome::Failed});
            EXPECT_EQ(recorder.tips.back(), "Bad answer");
            EXPECT_EQ(engine.retriesLeft, 3);   // a refused answer is not retried
        }
        EXPECT_FALSE(socket.IsOpen() && socket.CurrentSocket()->Handle != ws::INVALID_SOCKET);
    }
}

// Stop ends the check with its line and says so; a second Stop adds nothing.
TEST(CheckEngine, StopEndsARunningCheckOnce)
{
    TimePeer peer(TimePeer::Answer::Silent, TimestampOf(0));
    TClientSocket socket;
    check::Rfc868Protocol protocol(check::SocketKind::Stream);
    Recorder recorder;
    check::CheckEngine engine(socket, protocol, recorder.events());
    engine.configure(std::to_string(peer.port()), 10);
    engine.start("127.0.0.1");
    ASSERT_TRUE(pumpUntil([&] { return !recorder.lines.empty() && recorder.lines.back() == "1>Connected..."; }));
    engine.stop(">Disconnected.");
    engine.stop(">Disconnected.");
    pumpFor(200);
    EXPECT_EQ(recorder.lines.back(), "1>Disconnected.");
    EXPECT_EQ(recorder.endings, std::vector<check::Outcome>{check::Outcome::Stopped});
    EXPECT_FALSE(socket.Armed());
}

// A retry posted by a time-out must not run on an engine that is gone.
TEST(CheckEngine, ARetryPostedBeforeTheEngineIsGoneNeverRuns)
{
    TimePeer peer(TimePeer::Answer::Silent, TimestampOf(0));
    TClientSocket socket;
    check::Rfc868Protocol protocol(check::SocketKind::Stream);
    Recorder recorder;
    {
        check::CheckEngine engine(socket, protocol, recorder.events());
        engine.configure(std::to_string(peer.port()), 1);
        engine.retriesLeft = 1;
        engine.start("127.0.0.1");
        ASSERT_TRUE(pumpUntil([&] { return !recorder.lines.empty() && recorder.lines.back() == "1>Attempt #2"; }, 10000));
    }
    pumpFor(300);
    EXPECT_EQ(recorder.lines.back(), "1>Attempt #2");
    EXPECT_LE(peer.connections(), 1);
}

} // namespace
