// The time service behind `tikora-cli serve`, with a fixed clock.
#include "cli/time_service.h"

#include "net/loopback.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <string>
#include <vector>

using testing_support::pumpUntil;

namespace cli {
namespace {

// 2024-01-01 00:00:00 UTC as RFC 868 bytes: 3913056000 = 0xE93C_7F00.
constexpr TimestampBytes kFixedTime{0xE9, 0x3C, 0x7F, 0x00};

struct ServiceUnderTest {
    std::vector<std::string> log;
    TimeService service;

    explicit ServiceUnderTest(bool udp)
        : service(TimeServiceOptions{"127.0.0.1", "0", udp, 16},
                  [this](const std::string& line) { log.push_back(line); }, [] { return kFixedTime; })
    {
        service.start();
    }
};

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

std::uint16_t localPortOf(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// Sends an empty datagram and returns the answer, pumping the service meanwhile.
std::string askOverUdp(int fd, std::uint16_t port, int milliseconds = 2000)
{
    const sockaddr_in to = loopback(port);
    ::sendto(fd, "", 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    char answer[16];
    ssize_t received = -1;
    pumpUntil([&] {
        received = ::recv(fd, answer, sizeof answer, MSG_DONTWAIT);
        return received >= 0;
    }, milliseconds);
    return received < 0 ? "<none>" : std::string(answer, static_cast<std::size_t>(received));
}

const std::string kFixedBytes(reinterpret_cast<const char*>(kFixedTime.data()), 4);

TEST(TimeService, TcpClientGetsFourBytesAndTheEnd)
{
    ServiceUnderTest under(false);
    ASSERT_NE(under.service.localPort(), 0);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = loopback(under.service.localPort());
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
    std::string received;
    bool ended = false;
    ASSERT_TRUE(pumpUntil([&] {
        char buffer[8];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0)
            received.append(buffer, static_cast<std::size_t>(n));
        ended = n == 0;
        return ended;
    }));
    EXPECT_EQ(received, kFixedBytes);
    EXPECT_EQ(under.log, std::vector<std::string>{"127.0.0.1 port " + std::to_string(localPortOf(fd)) +
                                                  " sent 3913056000"});
    EXPECT_EQ(under.service.answered(), 1);
    ASSERT_TRUE(pumpUntil([&] { return under.service.server().Connections().empty(); }));
    ::close(fd);
}

TEST(TimeService, UdpAnswersEachDatagramAtItsSendersPort)
{
    ServiceUnderTest under(true);
    const int first = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int second = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(askOverUdp(first, under.service.localPort()), kFixedBytes);
    EXPECT_EQ(askOverUdp(second, under.service.localPort()), kFixedBytes);
    EXPECT_EQ(askOverUdp(first, under.service.localPort()), kFixedBytes);
    EXPECT_EQ(under.service.answered(), 3);
    ASSERT_EQ(under.log.size(), 3u);
    EXPECT_EQ(under.log[1], "127.0.0.1 port " + std::to_string(localPortOf(second)) + " sent 3913056000");
    ::close(first);
    ::close(second);
}

// A reply the platform refuses (as it would for a broadcast source address).
int refusedSendTo(ws::SOCKET s, const char* buffer, int count, int flags, const ws::SOCKADDR_IN* to, int)
{
    return ws::sendto(s, buffer, count, flags, to, 0);   // too short an address: fails with an error number
}

TEST(TimeService, UdpKeepsAnsweringAfterAReplyIsRefused)
{
    ServiceUnderTest under(true);
    const std::uint16_t port = under.service.localPort();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    OverrideSocketFunction("sendto", reinterpret_cast<void*>(&refusedSendTo));
    EXPECT_EQ(askOverUdp(fd, port, 300), "<none>");
    OverrideSocketFunction("sendto", nullptr);
    EXPECT_EQ(askOverUdp(fd, port), kFixedBytes);
    ASSERT_EQ(under.log.size(), 2u);
    EXPECT_EQ(under.log[0], "error: Error 10014 (Bad address) sending");
    EXPECT_EQ(under.service.localPort(), port);
    ::close(fd);
}

TEST(TimeService, TimestampCountsFrom1900AndWrapsIn2036)
{
    EXPECT_EQ(TimestampFromUnixSeconds(0), (TimestampBytes{0x83, 0xAA, 0x7E, 0x80}));
    EXPECT_EQ(TimestampFromUnixSeconds(1704067200), kFixedTime);
    // 2036-02-07 06:28:16 UTC is 2^32 seconds after 1900.
    EXPECT_EQ(TimestampFromUnixSeconds(2085978495), (TimestampBytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(TimestampFromUnixSeconds(2085978496), (TimestampBytes{0, 0, 0, 0}));
}

} // namespace
} // namespace cli
