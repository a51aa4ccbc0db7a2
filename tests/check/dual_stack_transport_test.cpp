// The dual-stack transport on real loopback sockets, IPv4 and IPv6: host
// texts, every address of a name tried in turn, a stream that races past an
// address that never answers, datagrams that move on, and receivers that
// close, reopen or destroy the transport inside a notice.
#include "check/dual_stack_transport.h"

#include "net/loopback.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <netdb.h>
#include <sched.h>
#include <sys/mount.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using check::DualStackTransport;
using check::Received;
using check::TransportKind;
using testing_support::pumpFor;
using testing_support::pumpUntil;
using Notices = std::vector<std::string>;

namespace {

// A name with an IPv6 and an IPv4 loopback address, in that order, from a
// hosts file seen by this test process alone.
constexpr const char* kDualName = "dual.tikora.test";

bool namesReady()
{
    static const bool ready = [] {
        const char* lines = "::1 dual.tikora.test\n127.0.0.1 dual.tikora.test\n";
        char path[] = "/tmp/tikora-hosts-XXXXXX";
        const int fd = ::mkstemp(path);
        const bool written = fd >= 0 && ::write(fd, lines, std::strlen(lines)) > 0;
        ::close(fd);
        const bool mounted = written && ::unshare(CLONE_NEWNS) == 0 &&
                             ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                             ::mount(path, "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
        ::unlink(path);   // the bind mount keeps the file
        // Where the machine has no IPv6 address but loopback the name has one address only.
        addrinfo hints{};
        hints.ai_flags = AI_ADDRCONFIG;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* answers = nullptr;
        if (!mounted || ::getaddrinfo(kDualName, nullptr, &hints, &answers) != 0)
            return false;
        const bool both = answers->ai_next && !answers->ai_next->ai_next;
        ::freeaddrinfo(answers);
        return both;
    }();
    return ready;
}

#define NEED_NAMES()                                                                                         \
    if (!namesReady())                                                                                       \
    GTEST_SKIP() << "needs root for a private hosts file, and an IPv6 address besides loopback"

// A transport and every notice it gave, in order; a hook may act inside one.
struct Rig : check::TransportReceiver {
    Notices notices;
    std::function<void(const std::string&)> inside;
    bool reads = false;   // read in every "readable": data, or the error's text
    std::string read;
    Received last;
    std::unique_ptr<DualStackTransport> transport = std::make_unique<DualStackTransport>();

    Rig() { transport->setReceiver(this); }
    void open(const std::string& host, const std::string& port, TransportKind kind, int timeOut = 5)
    {
        transport->open(check::Endpoint{host, port, kind, timeOut});
    }
    bool saw(const std::string& notice) const { return std::count(notices.begin(), notices.end(), notice) > 0; }
    std::string all() const { return testing::PrintToString(notices); }

    void note(const std::string& notice)
    {
        notices.push_back(notice);
        if (reads && notice == "readable") {
            last = transport->receive();
            read += last.status == Received::Status::Error ? last.error : last.bytes;
        }
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
};

// A socket bound to a loopback address of either family.
struct Peer {
    int fd;
    std::uint16_t port = 0;
    Peer(int family, int type, std::uint16_t wanted = 0) : fd(::socket(family, type | SOCK_CLOEXEC, 0))
    {
        platform::SocketAddress at = platform::ResolveNumericHost(family == AF_INET6 ? "::1" : "127.0.0.1", wanted,
                                                                  platform::SocketType::Stream).addresses.at(0);
        if (::bind(fd, at.get(), at.length) != 0) {
            ::close(fd);
            fd = -1;
            return;
        }
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at.storage), &at.length);
        port = ntohs(reinterpret_cast<const sockaddr_in*>(at.get())->sin_port);   // where sin6_port is too
    }
    ~Peer() { ::close(fd); }
    std::string portText() const { return std::to_string(port); }
    // A datagram's answer: waits for one request (bounded) and sends `reply`.
    bool answer(const std::string& reply)
    {
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        char request[512];
        return pumpUntil([&] {
                   length = sizeof from;
                   return ::recvfrom(fd, request, sizeof request, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                                     &length) >= 0;
               }) &&
               ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), length) > 0;
    }
};

// An IPv6 peer and an IPv4 peer on the same port number (both free).
struct PeerPair {
    std::unique_ptr<Peer> v6, v4;
    explicit PeerPair(int type)
    {
        for (int tries = 0; tries < 20 && !v4; ++tries) {
            v6 = std::make_unique<Peer>(AF_INET6, type);
            v4 = std::make_unique<Peer>(AF_INET, type, v6->port);
            if (v4->fd < 0)
                v4.reset();
        }
    }
};

// Fills an IPv6 listener's backlog: connects to it never complete.
struct FullBacklog {
    std::vector<int> clients;
    explicit FullBacklog(const Peer& listener)
    {
        ::listen(listener.fd, 0);
        const platform::SocketAddress to =
            platform::ResolveNumericHost("::1", listener.port, platform::SocketType::Stream).addresses.at(0);
        for (int i = 0; i < 3; ++i) {
            clients.push_back(::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            ::connect(clients.back(), to.get(), to.length);
        }
        pumpFor(50);
    }
    ~FullBacklog()
    {
        for (int fd : clients)
            ::close(fd);
    }
};

// Texts that are no host fail the open at once, with the parser's reason.
TEST(HostText, AsUsersWriteIt)
{
    struct Case {
        const char* text;
        const char* host;    // as parsed; nullptr when refused
        bool numeric;
        const char* reason;  // part of the reason when refused
    } const cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const platform::HostText parsed = platform::ParseHost(c.text);
        if (c.host) {
            EXPECT_EQ(parsed.error, "");
            EXPECT_EQ(parsed.host, c.host);
            EXPECT_EQ(parsed.numeric, c.numeric);
            continue;
        }
        EXPECT_NE(parsed.error.find(c.reason), std::string::npos) << parsed.error;
        Rig rig;
        rig.open(c.text, "37", TransportKind::Stream);
        EXPECT_EQ(rig.notices, (Notices{"looking up", "open failed: " + parsed.error}));
        EXPECT_FALSE(rig.transport->isOpen());
    }
}

TEST(PortText, NumbersAndServiceNames)
{
    using platform::SocketType;
    struct Case {
        const char* text;
        SocketType type;
        int port;   // 0: refused, and the open fails at once
    } const cases[] = {
        {"37", SocketType::Stream, 37},   {"65535", SocketType::Datagram, 65535}, {"time", SocketType::Stream, 37},
        {"ntp", SocketType::Datagram, 123}, {"0", SocketType::Stream, 0},      {"65536", SocketType::Stream, 0},
        {"", SocketType::Stream, 0},        {"no-such-service", SocketType::Datagram, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const platform::PortNumber port = platform::ResolvePort(c.text, c.type);
        EXPECT_EQ(port.port, c.port);
        EXPECT_EQ(port.error.empty(), c.port != 0) << port.error;
        if (c.port != 0)
            continue;
        Rig rig;
        rig.open("::1", c.text, c.type == SocketType::Stream ? TransportKind::Stream : TransportKind::Datagram);
        EXPECT_EQ(rig.notices, (Notices{"looking up", "open failed: " + port.error}));
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
    EXPECT_EQ(order, (Notices{"2001:db8::1", "192.0.2.1", "2001:db8::2", "192.0.2.2", "2001:db8::3"}));
}

// What waits at ::1 and at 127.0.0.1 on one port number. A stuck stream
// never completes its connect; a stuck datagram peer never answers.
enum class V6 { Nobody, There, Stuck };
enum class V4 { Nobody, There, Answers };   // answers a datagram; a stream sends, then closes
const std::string kPayload("\xe9\x00\x01\x02", 4);
const std::string kRefused = "failed: Error 10061 (Connection refused) connecting";

struct Scenario {
    const char* host;
    TransportKind kind;
    V6 v6;
    V4 v4;
    int timeOut;
    Notices notices;    // all of them, in order
    std::string peer;   // peerAddress() when connected, " v6" added for IPv6
    std::string read;   // all that was read: data, or an error's text
    std::string timed;  // this notice comes within [fromMs, belowMs) of the open
    int fromMs, belowMs;
};

void run(const Scenario& s)
{
    const bool stream = s.kind == TransportKind::Stream;
    SCOPED_TRACE(std::string(s.host) + (stream ? " stream " : " datagram ") + testing::PrintToString(s.notices));
    PeerPair pair(stream ? SOCK_STREAM : SOCK_DGRAM);
    ASSERT_TRUE(pair.v4);
    const std::string port = pair.v6->portText();
    std::unique_ptr<FullBacklog> full;
    if (s.v6 == V6::Nobody)
        pair.v6.reset();
    else if (stream && s.v6 == V6::Stuck)
        full = std::make_unique<FullBacklog>(*pair.v6);
    else if (stream)
        ::listen(pair.v6->fd, 4);
    if (s.v4 == V4::Nobody)
        pair.v4.reset();
    else if (stream)
        ::listen(pair.v4->fd, 4);
    const int threadsBefore = platform::AddressLookup::threadsStarted();
    Rig rig;
    rig.reads = true;
    std::string peer;
    rig.inside = [&](const std::string& notice) {
        if (notice != "connected")
            return;
        peer = rig.transport->peerAddress() + (rig.transport->peerIsIpv6() ? " v6" : "");
        std::string error;
        if (!stream) {
            EXPECT_TRUE(rig.transport->send("request", error)) << error;
            rig.transport->armTimeOut();
        } else if (s.v4 == V4::Answers) {
            const int served = ::accept(pair.v4->fd, nullptr, nullptr);
            ::send(served, kPayload.data(), kPayload.size(), 0);
            ::close(served);
        }
    };
    const auto realtimeNow = [] {
        return std::chrono::nanoseconds(std::chrono::system_clock::now().time_since_epoch()).count();
    };
    const std::int64_t opened = realtimeNow();
    QElapsedTimer clock;
    clock.start();
    rig.open(s.host, port, s.kind, s.timeOut);
    if (!stream && s.v4 == V4::Answers) {
        ASSERT_TRUE(pair.v4->answer(kPayload));
    }
    ASSERT_TRUE(pumpUntil([&] { return rig.saw(s.timed); }, 3000)) << rig.all();
    EXPECT_GE(clock.elapsed(), s.fromMs);
    EXPECT_LT(clock.elapsed(), s.belowMs);
    pumpUntil([&] { return rig.notices.size() >= s.notices.size(); }, 1000);
    pumpFor(100);   // and nothing more, from a losing attempt either
    EXPECT_EQ(rig.notices, s.notices);
    EXPECT_EQ(peer, s.peer);
    EXPECT_EQ(rig.read, s.read);
    EXPECT_EQ(rig.transport->isOpen(), rig.notices.back() == "connected" || rig.notices.back() == "readable");
    EXPECT_EQ(platform::AddressLookup::threadsStarted() - threadsBefore, platform::ParseHost(s.host).numeric ? 0 : 1);
    // The kernel's arrival stamp; here (gVisor) it is at times taken when the
    // datagram is read, so only its presence and range are checked.
    if (!stream && s.read == kPayload) {
        ASSERT_TRUE(rig.last.arrivalRealtimeNs.has_value());
        EXPECT_GT(*rig.last.arrivalRealtimeNs, opened);
        EXPECT_LE(*rig.last.arrivalRealtimeNs, realtimeNow());
    }
}

TEST(DualStackTransport, NumericHostsConnectWithoutALookUpThread)
{
    const TransportKind tcp = TransportKind::Stream, udp = TransportKind::Datagram;
    const Notices v4{"looking up", "connecting 127.0.0.1", "connected"}, v6{"looking up", "connecting [::1]", "connected"};
    const Notices v4Read{"looking up", "connecting 127.0.0.1", "connected", "readable"};
    const Scenario cases[] = {
        {"127.0.0.1", tcp, V6::Nobody, V4::There, 5, v4, "127.0.0.1", "", "connected", 0, 1000},
        {"::1", tcp, V6::There, V4::Nobody, 5, v6, "::1 v6", "", "connected", 0, 1000},
        {"[::1]", tcp, V6::There, V4::Nobody, 5, v6, "::1 v6", "", "connected", 0, 1000},
        {"127.0.0.1", udp, V6::Nobody, V4::Answers, 5, v4Read, "127.0.0.1", kPayload, "readable", 0, 1000},
        {"[::1]", udp, V6::There, V4::Nobody, 5, v6, "::1 v6", "", "connected", 0, 1000},
        // Refused at the only address (a datagram hears it as a read error), and never connected.
        {"::1", tcp, V6::Nobody, V4::Nobody, 5, {"looking up", "connecting [::1]", kRefused}, "", "", kRefused, 0, 1000},
        {"127.0.0.1", udp, V6::Nobody, V4::Nobody, 5, v4Read, "127.0.0.1", "Error 10061 (Connection refused) recieving",
         "readable", 0, 1000},
        {"::1", tcp, V6::Stuck, V4::Nobody, 1, {"looking up", "connecting [::1]", "timed out"}, "", "", "timed out", 900,
         1500},
    };
    for (const Scenario& c : cases)
        run(c);
}

// Every address of a name in turn: past a refusing IPv6 address, racing past
// one that never connects, moving on from one that stays silent.
TEST(DualStackTransport, ANamesNextAddressIsTriedWhenOneFails)
{
    NEED_NAMES();
    const TransportKind tcp = TransportKind::Stream, udp = TransportKind::Datagram;
    const std::string v6 = std::string("connecting ") + kDualName + " [::1]", v4 = "connecting 127.0.0.1";
    const Notices movedOn{"looking up", v6, "connected", v4, "connected", "readable"};
    const Scenario cases[] = {
        {kDualName, tcp, V6::Nobody, V4::Answers, 5, {"looking up", v6, v4, "connected", "readable", "closed"},
         "127.0.0.1", kPayload, "connected", 0, 1000},
        // The refusal is heard on reading, which moves on.
        {kDualName, udp, V6::Nobody, V4::Answers, 5, {"looking up", v6, "connected", "readable", v4, "connected", "readable"},
         "127.0.0.1", kPayload, "readable", 0, 1000},
        {kDualName, tcp, V6::Stuck, V4::There, 5, {"looking up", v6, v4, "connected"}, "127.0.0.1", "", "connected", 240,
         500},
        // Half of 2 s, and at least a second.
        {kDualName, udp, V6::Stuck, V4::Answers, 2, movedOn, "127.0.0.1", kPayload, v4, 950, 1500},
    };
    for (const Scenario& c : cases)
        run(c);
}

TEST(DualStackTransport, AReceiverMayCloseOrDestroyOrReopenInsideANotice)
{
    enum class Act { Close, Destroy, Reopen };
    struct Case {
        const char* notice;
        Act act;
    } const cases[] = {
        {"looking up", Act::Close},   {"connecting [::1]", Act::Close},   {"connected", Act::Close},
        {"looking up", Act::Destroy}, {"connecting [::1]", Act::Destroy}, {"connected", Act::Destroy},
        {"connecting [::1]", Act::Reopen},
    };
    Peer listener(AF_INET6, SOCK_STREAM);
    ::listen(listener.fd, 16);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.notice) + " act " + std::to_string(static_cast<int>(c.act)));
        Rig rig;
        bool acted = false;
        rig.inside = [&](const std::string& notice) {
            if (acted || notice != c.notice)
                return;
            acted = true;
            if (c.act == Act::Close)
                rig.transport->close();
            else if (c.act == Act::Destroy)
                rig.transport.reset();
            else
                rig.open("::1", listener.portText(), TransportKind::Stream);
        };
        rig.open("::1", listener.portText(), TransportKind::Stream);
        pumpFor(300);
        EXPECT_TRUE(acted);
        EXPECT_EQ(rig.notices.back(), c.act == Act::Reopen ? "connected" : c.notice) << rig.all();
        EXPECT_LE(std::count(rig.notices.begin(), rig.notices.end(), "connected"), 1);
    }
}

TEST(DualStackTransport, ALateLookUpAnswerIsNeverDelivered)
{
    NEED_NAMES();
    Peer listener(AF_INET6, SOCK_STREAM);
    ::listen(listener.fd, 4);
    for (bool destroy : {false, true}) {
        Rig rig;
        rig.open(kDualName, listener.portText(), TransportKind::Stream);
        if (destroy)
            rig.transport.reset();
        else
            rig.transport->close();
        pumpFor(300);
        EXPECT_EQ(rig.notices, Notices{"looking up"});
    }
}

} // namespace
