// The dual-stack transport on real loopback sockets, IPv4 and IPv6: host
// texts, every address of a name tried in turn, a stream that races past an
// address that never answers, datagrams that move on, and receivers that
// close or destroy the transport inside a notice.
#include "check/dual_stack_transport.h"

#include "net/loopback.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using check::DualStackTransport;
using check::Endpoint;
using check::Received;
using check::TransportKind;
using testing_support::pumpFor;
using testing_support::pumpUntil;

namespace {

// A name with an IPv6 and an IPv4 loopback address, in that order, and one
// with IPv6 only, from a hosts file seen by this test process alone.
constexpr const char* kDualName = "dual.tikora.test";
constexpr const char* kHostsLines = "::1 dual.tikora.test\n127.0.0.1 dual.tikora.test\n";

bool namesReady()
{
    static const bool ready = [] {
        char path[] = "/tmp/tikora-hosts-XXXXXX";
        const int fd = ::mkstemp(path);
        if (fd < 0)
            return false;
        const bool written = ::write(fd, kHostsLines, std::strlen(kHostsLines)) > 0;
        ::close(fd);
        const bool mounted = written && ::unshare(CLONE_NEWNS) == 0 &&
                             ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                             ::mount(path, "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
        ::unlink(path);
        if (!mounted)
            return false;
        // Where the machine has no IPv6 address but loopback the name has one address only.
        platform::LookupResult found = platform::ResolveNumericHost("::1", 1, platform::SocketType::Stream);
        addrinfo hints{};
        hints.ai_flags = AI_ADDRCONFIG;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* answers = nullptr;
        if (::getaddrinfo(kDualName, nullptr, &hints, &answers) != 0)
            return false;
        int count = 0;
        for (addrinfo* a = answers; a; a = a->ai_next)
            ++count;
        ::freeaddrinfo(answers);
        return !found.addresses.empty() && count == 2;
    }();
    return ready;
}

#define NEED_NAMES()                                                                                         \
    if (!namesReady())                                                                                       \
    GTEST_SKIP() << "needs root for a private hosts file, and an IPv6 address besides loopback"

// Every notice, in order; a hook may act inside one.
struct Recorder : check::TransportReceiver {
    std::vector<std::string> notices;
    std::function<void(const std::string&)> inside;

    void note(const std::string& notice)
    {
        notices.push_back(notice);
        if (inside)
            inside(notice);
    }
    void transportLookingUp() override { note("looking up"); }
    void transportConnecting(const std::string& address) override { note("connecting " + address); }
    void transportConnected() override { note("connected"); }
    void transportFailed(const std::string& reason, bool openFailed) override
    {
        note((openFailed ? "open failed: " : "failed: ") + reason);
    }
    void transportReadable() override { note("readable"); }
    void transportClosed() override { note("closed"); }
    void transportTimedOut() override { note("timed out"); }

    bool saw(const std::string& notice) const
    {
        return std::find(notices.begin(), notices.end(), notice) != notices.end();
    }
    std::string all() const
    {
        std::string text;
        for (const std::string& notice : notices)
            text += notice + "; ";
        return text;
    }
};

// A socket bound to a loopback address of either family.
struct Peer {
    int fd = -1;
    std::uint16_t port = 0;
    Peer(int family, int type, std::uint16_t wanted = 0)
    {
        fd = ::socket(family, type | SOCK_CLOEXEC, 0);
        sockaddr_storage storage{};
        socklen_t length;
        if (family == AF_INET6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_loopback;
            a->sin6_port = htons(wanted);
            length = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&storage);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a->sin_port = htons(wanted);
            length = sizeof *a;
        }
        if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length);
        port = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                                        : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    }
    ~Peer()
    {
        if (fd >= 0)
            ::close(fd);
    }
    // A datagram's answer: waits for one request (bounded) and sends `reply`.
    bool answer(const std::string& reply)
    {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        char request[512];
        bool answered = false;
        pumpUntil([&] {
            length = sizeof from;
            answered = ::recvfrom(fd, request, sizeof request, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                  &length) >= 0;
            return answered;
        });
        return answered && ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length) > 0;
    }
};

// An IPv6 peer and an IPv4 peer on the same port number (both free).
struct PeerPair {
    std::unique_ptr<Peer> v6, v4;
    PeerPair(int type)
    {
        for (int tries = 0; tries < 20 && !v4; ++tries) {
            v6 = std::make_unique<Peer>(AF_INET6, type);
            auto candidate = std::make_unique<Peer>(AF_INET, type, v6->port);
            if (candidate->fd >= 0)
                v4 = std::move(candidate);
        }
    }
    std::string port() const { return std::to_string(v6->port); }
};

// A listener whose backlog is full: connects to it never complete.
void fillBacklog(Peer& listener, std::vector<int>& clients)
{
    ::listen(listener.fd, 0);
    sockaddr_in6 to{};
    to.sin6_family = AF_INET6;
    to.sin6_addr = in6addr_loopback;
    to.sin6_port = htons(listener.port);
    for (int i = 0; i < 3; ++i) {
        const int client = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(client, reinterpret_cast<sockaddr*>(&to), sizeof to);
        clients.push_back(client);
    }
    pumpFor(50);
}

Endpoint endpoint(const std::string& host, const std::string& port, TransportKind kind, int timeOut = 5)
{
    return Endpoint{host, port, kind, timeOut};
}

std::int64_t realtimeNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// ---------------------------------------------------------------------------

struct HostCase {
    const char* text;
    const char* host;    // as parsed; nullptr when refused
    bool numeric;
    const char* reason;  // part of the reason when refused
};

TEST(HostText, AsUsersWriteIt)
{
    const HostCase cases[] = {
        {"time.example", "time.example", false, nullptr},
        {"192.0.2.1", "192.0.2.1", true, nullptr},
        {"2001:db8::1", "2001:db8::1", true, nullptr},
        {"[2001:db8::1]", "2001:db8::1", true, nullptr},
        {"::1", "::1", true, nullptr},
        {"", nullptr, false, "no host"},
        {"[2001:db8::1]:37", nullptr, false, "after ']'"},
        {"[2001:db8::1", nullptr, false, "without its ']'"},
        {"[192.0.2.1]", nullptr, false, "only an IPv6 address"},
        {"2001:db8::zz", nullptr, false, "not an IPv6 address"},
        {"time example", nullptr, false, "no spaces"},
    };
    for (const HostCase& c : cases) {
        SCOPED_TRACE(c.text);
        const platform::HostText parsed = platform::ParseHost(c.text);
        if (c.host) {
            EXPECT_EQ(parsed.error, "");
            EXPECT_EQ(parsed.host, c.host);
            EXPECT_EQ(parsed.numeric, c.numeric);
        } else {
            EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << parsed.error;
        }
    }
}

TEST(PortText, NumbersAndServiceNames)
{
    struct Case {
        const char* text;
        platform::SocketType type;
        int port;   // 0: refused
    } const cases[] = {
        {"37", platform::SocketType::Stream, 37},    {"65535", platform::SocketType::Datagram, 65535},
        {"time", platform::SocketType::Stream, 37},  {"ntp", platform::SocketType::Datagram, 123},
        {"0", platform::SocketType::Stream, 0},      {"65536", platform::SocketType::Stream, 0},
        {"", platform::SocketType::Stream, 0},       {"no-such-service", platform::SocketType::Datagram, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const platform::PortNumber port = platform::ResolvePort(c.text, c.type);
        EXPECT_EQ(port.port, c.port);
        EXPECT_EQ(port.error.empty(), c.port != 0) << port.error;
    }
}

TEST(AddressOrder, FamiliesTakeTurnsIpv6First)
{
    std::vector<platform::SocketAddress> given;
    for (const char* host : {"192.0.2.1", "192.0.2.2", "2001:db8::1", "2001:db8::2", "2001:db8::3"})
        given.push_back(platform::ResolveNumericHost(host, 37, platform::SocketType::Stream).addresses.at(0));
    std::vector<std::string> order;
    for (const platform::SocketAddress& address : platform::InterleaveFamilies(given))
        order.push_back(address.numeric());
    EXPECT_EQ(order, (std::vector<std::string>{"2001:db8::1", "192.0.2.1", "2001:db8::2", "192.0.2.2", "2001:db8::3"}));
}

// ---------------------------------------------------------------------------

TEST(DualStackTransport, NumericHostsConnectWithoutALookUpThread)
{
    struct Case {
        const char* host;
        int family;
        TransportKind kind;
        const char* shown;
    } const cases[] = {
        {"127.0.0.1", AF_INET, TransportKind::Stream, "127.0.0.1"},
        {"::1", AF_INET6, TransportKind::Stream, "[::1]"},
        {"[::1]", AF_INET6, TransportKind::Stream, "[::1]"},
        {"127.0.0.1", AF_INET, TransportKind::Datagram, "127.0.0.1"},
        {"[::1]", AF_INET6, TransportKind::Datagram, "[::1]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.host) + (c.kind == TransportKind::Stream ? " stream" : " datagram"));
        Peer peer(c.family, c.kind == TransportKind::Stream ? SOCK_STREAM : SOCK_DGRAM);
        if (c.kind == TransportKind::Stream)
            ::listen(peer.fd, 4);
        const int threadsBefore = platform::AddressLookup::threadsStarted();
        Recorder recorder;
        DualStackTransport transport;
        transport.setReceiver(&recorder);
        transport.open(endpoint(c.host, std::to_string(peer.port), c.kind));
        ASSERT_TRUE(pumpUntil([&] { return recorder.saw("connected"); }, 2000)) << recorder.all();
        EXPECT_EQ(recorder.notices,
                  (std::vector<std::string>{"looking up", std::string("connecting ") + c.shown, "connected"}));
        EXPECT_EQ(platform::AddressLookup::threadsStarted(), threadsBefore);
        EXPECT_EQ(transport.peerIsIpv6(), c.family == AF_INET6);
        EXPECT_TRUE(transport.isOpen());
    }
}

TEST(DualStackTransport, TextsThatAreNoHostOrPortFailAtOnce)
{
    const std::pair<const char*, const char*> cases[] = {
        {"[::1]:37", "37"}, {"", "37"}, {"::1", "no-such-service"}, {"::1", "0"}};
    for (const auto& [host, port] : cases) {
        SCOPED_TRACE(std::string(host) + " port " + port);
        Recorder recorder;
        DualStackTransport transport;
        transport.setReceiver(&recorder);
        transport.open(endpoint(host, port, TransportKind::Stream));
        ASSERT_EQ(recorder.notices.size(), 2u) << recorder.all();
        EXPECT_EQ(recorder.notices[0], "looking up");
        EXPECT_EQ(recorder.notices[1].rfind("open failed: ", 0), 0u) << recorder.notices[1];
        EXPECT_FALSE(transport.isOpen());
    }
}

TEST(DualStackTransport, AStreamRefusedAtEveryAddressFailsWithTheReason)
{
    const std::uint16_t closed = Peer(AF_INET6, SOCK_STREAM).port;
    Recorder recorder;
    DualStackTransport transport;
    transport.setReceiver(&recorder);
    transport.open(endpoint("::1", std::to_string(closed), TransportKind::Stream));
    ASSERT_TRUE(pumpUntil([&] { return recorder.notices.size() == 3; }, 2000)) << recorder.all();
    EXPECT_EQ(recorder.notices.back(), "failed: Error 10061 (Connection refused) connecting");
    EXPECT_FALSE(transport.isOpen());
}

TEST(DualStackTransport, AStreamReadsWhatCameThenHearsTheClose)
{
    Peer listener(AF_INET6, SOCK_STREAM);
    ::listen(listener.fd, 4);
    Recorder recorder;
    DualStackTransport transport;
    transport.setReceiver(&recorder);
    std::string got;
    recorder.inside = [&](const std::string& notice) {
        if (notice == "readable")
            got += transport.receive().bytes;
    };
    transport.open(endpoint("::1", std::to_string(listener.port), TransportKind::Stream));
    ASSERT_TRUE(pumpUntil([&] { return recorder.saw("connected"); }));
    const int served = ::accept(listener.fd, nullptr, nullptr);
    ASSERT_EQ(::send(served, "\xe9\x00\x01\x02", 4, 0), 4);
    ::close(served);
    ASSERT_TRUE(pumpUntil([&] { return recorder.saw("closed"); })) << recorder.all();
    EXPECT_EQ(got, std::string("\xe9\x00\x01\x02", 4));
    EXPECT_EQ(recorder.notices.back(), "closed");
    EXPECT_FALSE(transport.isOpen());
}

TEST(DualStackTransport, ADatagramCarriesTheKernelsArrivalStamp)
{
    Peer peer(AF_INET6, SOCK_DGRAM);
    Recorder recorder;
    DualStackTransport transport;
    transport.setReceiver(&recorder);
    transport.open(endpoint("::1", std::to_string(peer.port), TransportKind::Datagram));
    ASSERT_TRUE(recorder.saw("connected"));
    std::string error;
    ASSERT_TRUE(transport.send("request", error)) << error;
    ASSERT_TRUE(peer.answer("reply"));
    const std::int64_t answered = realtimeNow();
    ASSERT_TRUE(pumpUntil([&] { return recorder.saw("readable"); }));
    // The stamp comes from the kernel; here (gVisor) it is at times taken when
    // the datagram is read, so only its presence and range are checked.
    pumpFor(30);
    const Received received = transport.receive();
    const std::int64_t read = realtimeNow();
    EXPECT_EQ(received.status, Received::Status::Data);
    EXPECT_EQ(received.bytes, "reply");
    ASSERT_TRUE(received.arrivalRealtimeNs.has_value());
    EXPECT_LE(*received.arrivalRealtimeNs, read);
    EXPECT_GT(*received.arrivalRealtimeNs, answered - 1'000'000'000);
    EXPECT_EQ(transport.receive().status, Received::Status::Nothing);
}

TEST(DualStackTransport, ARefusalOnTheOnlyAddressIsAReadError)
{
    const std::uint16_t closed = Peer(AF_INET, SOCK_DGRAM).port;
    Recorder recorder;
    DualStackTransport transport;
    transport.setReceiver(&recorder);
    transport.open(endpoint("127.0.0.1", std::to_string(closed), TransportKind::Datagram));
    std::string error;
    ASSERT_TRUE(transport.send("request", error)) << error;
    ASSERT_TRUE(pumpUntil([&] { return recorder.saw("readable"); }, 2000)) << recorder.all();
    const Received received = transport.receive();
    EXPECT_EQ(received.status, Received::Status::Error);
    EXPECT_EQ(received.error, "Error 10061 (Connection refused) recieving");
}

TEST(DualStackTransport, AStreamThatNeverConnectsTimesOut)
{
    Peer blocked(AF_INET6, SOCK_STREAM);
    std::vector<int> queued;
    fillBacklog(blocked, queued);
    Recorder recorder;
    DualStackTransport transport;
    transport.setReceiver(&recorder);
    QElapsedTimer clock;
    clock.start();
    transport.open(endpoint("::1", std::to_string(blocked.port), TransportKind::Stream, 1));
    ASSERT_TRUE(pumpUntil([&] { return recorder.saw("timed out"); }, 3000)) << recorder.all();
    EXPECT_GE(clock.elapsed(), 900);
    EXPECT_EQ(recorder.notices, (std::vector<std::string>{"looking up", "connecting [::1]", "timed out"}));
    for (int fd : queued)
        ::close(fd);
}

// ---------------------------------------------------------------------------
// Receivers that act inside a notice.

TEST(DualStackTransport, AReceiverMayCloseOrDestroyOrReopenInsideANotice)
{
    enum class Act { Close, Destroy, Reopen };
    struct Case {
        const char* notice;
        Act act;
    } const cases[] = {
        {"looking up", Act::Close},      {"connecting [::1]", Act::Close}, {"connected", Act::Close},
        {"looking up", Act::Destroy},    {"connecting [::1]", Act::Destroy}, {"connected", Act::Destroy},
        {"connecting [::1]", Act::Reopen},
    };
    Peer listener(AF_INET6, SOCK_STREAM);
    ::listen(listener.fd, 16);
    const Endpoint there = endpoint("::1", std::to_string(listener.port), TransportKind::Stream);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.notice) + " act " + std::to_string(static_cast<int>(c.act)));
        Recorder recorder;
        auto transport = std::make_unique<DualStackTransport>();
        transport->setReceiver(&recorder);
        bool acted = false;
        recorder.inside = [&](const std::string& notice) {
            if (acted || notice != c.notice)
                return;
            acted = true;
            if (c.act == Act::Close)
                transport->close();
            else if (c.act == Act::Destroy)
                transport.reset();
            else
                transport->open(there);
        };
        transport->open(there);
        pumpFor(300);
        EXPECT_TRUE(acted);
        EXPECT_EQ(recorder.notices.back(), c.act == Act::Reopen ? "connected" : c.notice) << recorder.all();
        if (c.act == Act::Reopen) {
            EXPECT_EQ(std::count(recorder.notices.begin(), recorder.notices.end(), "connected"), 1);
        }
    }
}

TEST(DualStackTransport, ALateLookUpAnswerIsNeverDelivered)
{
    NEED_NAMES();
    Peer listener(AF_INET6, SOCK_STREAM);
    ::listen(listener.fd, 4);
    for (bool destroy : {false, true}) {
        Recorder recorder;
        auto transport = std::make_unique<DualStackTransport>();
        transport->setReceiver(&recorder);
        transport->open(endpoint(kDualName, std::to_string(listener.port), TransportKind::Stream));
        if (destroy)
            transport.reset();
        else
            transport->close();
        pumpFor(300);
        EXPECT_EQ(recorder.notices, std::vector<std::string>{"looking up"});
    }
}

// ---------------------------------------------------------------------------
// A name with an IPv6 and an IPv4 address.

TEST(DualStackTransport, ARefusingIpv6AddressGivesWayToIpv4)
{
    NEED_NAMES();
    for (TransportKind kind : {TransportKind::Stream, TransportKind::Datagram}) {
        SCOPED_TRACE(kind == TransportKind::Stream ? "stream" : "datagram");
        const int type = kind == TransportKind::Stream ? SOCK_STREAM : SOCK_DGRAM;
        PeerPair pair(type);
        ASSERT_TRUE(pair.v4);
        const std::string port = pair.port();
        pair.v6.reset();   // nobody at the IPv6 address
        if (kind == TransportKind::Stream)
            ::listen(pair.v4->fd, 4);
        const int threadsBefore = platform::AddressLookup::threadsStarted();
        Recorder recorder;
        DualStackTransport transport;
        transport.setReceiver(&recorder);
        std::string got;
        recorder.inside = [&](const std::string& notice) {
            std::string error;
            if (notice == "connected" && kind == TransportKind::Datagram)
                transport.send("request", error);
            if (notice == "readable")
                got += transport.receive().bytes;
        };
        transport.open(endpoint(kDualName, port, kind));
        if (kind == TransportKind::Datagram) {
            ASSERT_TRUE(pair.v4->answer("reply"));
        }
        ASSERT_TRUE(pumpUntil([&] { return recorder.saw("connecting 127.0.0.1") && recorder.saw("connected"); }, 3000))
            << recorder.all();
        EXPECT_EQ(recorder.notices[1], std::string("connecting ") + kDualName + " [::1]");
        EXPECT_EQ(transport.peerAddress(), "127.0.0.1");
        EXPECT_FALSE(transport.peerIsIpv6());
        EXPECT_EQ(platform::AddressLookup::threadsStarted(), threadsBefore + 1);
        if (kind == TransportKind::Datagram) {
            ASSERT_TRUE(pumpUntil([&] { return !got.empty(); }));
            EXPECT_EQ(got, "reply");
        }
    }
}

TEST(DualStackTransport, AStreamRacesPastAnIpv6AddressThatNeverConnects)
{
    NEED_NAMES();
    PeerPair pair(SOCK_STREAM);
    ASSERT_TRUE(pair.v4);
    std::vector<int> queued;
    fillBacklog(*pair.v6, queued);
    ::listen(pair.v4->fd, 4);
    Recorder recorder;
    DualStackTransport transport;
    transport.setReceiver(&recorder);
    QElapsedTimer clock;
    clock.start();
    transport.open(endpoint(kDualName, pair.port(), TransportKind::Stream));
    ASSERT_TRUE(pumpUntil([&] { return recorder.saw("connected"); }, 3000)) << recorder.all();
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 240);
    EXPECT_LT(elapsed, 500);
    EXPECT_EQ(recorder.notices, (std::vector<std::string>{"looking up", std::string("connecting ") + kDualName + " [::1]",
                                                         "connecting 127.0.0.1", "connected"}));
    EXPECT_EQ(transport.peerAddress(), "127.0.0.1");
    pumpFor(100);
    EXPECT_EQ(recorder.notices.back(), "connected");   // the losing attempt is gone quietly
    for (int fd : queued)
        ::close(fd);
}

TEST(DualStackTransport, ASilentIpv6AddressGivesWayAfterItsShareOfTheTimeOut)
{
    NEED_NAMES();
    PeerPair pair(SOCK_DGRAM);   // the IPv6 peer is bound, so no refusal: silence
    ASSERT_TRUE(pair.v4);
    Recorder recorder;
    DualStackTransport transport;
    transport.setReceiver(&recorder);
    recorder.inside = [&](const std::string& notice) {
        std::string error;
        if (notice == "connected") {
            transport.send("request", error);
            transport.armTimeOut();
        }
    };
    QElapsedTimer clock;
    clock.start();
    transport.open(endpoint(kDualName, pair.port(), TransportKind::Datagram, 2));
    ASSERT_TRUE(pumpUntil([&] { return recorder.saw("connecting 127.0.0.1"); }, 3000)) << recorder.all();
    EXPECT_GE(clock.elapsed(), 950);   // half of 2 s, and at least a second
    EXPECT_LT(clock.elapsed(), 1500);
    ASSERT_TRUE(pair.v4->answer("reply"));
    ASSERT_TRUE(pumpUntil([&] { return recorder.saw("readable"); })) << recorder.all();
    EXPECT_EQ(transport.receive().bytes, "reply");
    EXPECT_FALSE(recorder.saw("timed out"));
}

} // namespace
