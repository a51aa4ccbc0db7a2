// The least an NTP client can do: one blocking datagram socket, one 48-byte
// request, one reply, the offset and delay from the four timestamps. It shares
// no code with tikora-cli, so the benchmarks read tikora-cli's delay against
// it (the floor) and its offset as a second opinion. Clocks as tikora-cli
// reads them: T4 from CLOCK_REALTIME, T4 - T1 from CLOCK_MONOTONIC, so T1 is
// T4 less the elapsed time (a clock step in between cannot skew the delay).
//
// Usage: ntp_blocking_client [--port P] [--timeout SECONDS] IPV4_ADDRESS
// Prints "offset SECONDS delay SECONDS"; exit 1 when no valid reply came.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr std::int64_t kNtpSecondsTo1970 = 2208988800;
constexpr std::size_t kPacketSize = 48;

std::int64_t nanoseconds(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::uint64_t readBigEndian64(const unsigned char* bytes)
{
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// An NTP timestamp as Unix nanoseconds, assuming the era nearest to now
// (loopback replies are never half an era away).
std::int64_t unixNanoseconds(std::uint64_t stamp, std::int64_t nearUnixNs)
{
    const auto seconds = static_cast<std::int64_t>(stamp >> 32);
    const auto fraction = static_cast<std::int64_t>(stamp & 0xffffffffu);
    std::int64_t unix = (seconds - kNtpSecondsTo1970) * 1'000'000'000 + ((fraction * 1'000'000'000) >> 32);
    constexpr std::int64_t era = (std::int64_t{1} << 32) * 1'000'000'000;
    while (unix < nearUnixNs - era / 2)
        unix += era;
    while (unix > nearUnixNs + era / 2)
        unix -= era;
    return unix;
}

int usage()
{
    std::fprintf(stderr, "usage: ntp_blocking_client [--port P] [--timeout SECONDS] IPV4_ADDRESS\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    int port = 123;
    double timeoutSeconds = 2;
    const char* host = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--port" || arg == "--timeout") && i + 1 < argc) {
            char* end = nullptr;
            const double value = std::strtod(argv[++i], &end);
            if (*end != '\0' || value <= 0)
                return usage();
            if (arg == "--port") {
                if (value > 65535 || value != static_cast<double>(static_cast<int>(value)))
                    return usage();
                port = static_cast<int>(value);
            } else {
                timeoutSeconds = value;
            }
        } else if (!host && arg[0] != '-') {
            host = argv[i];
        } else {
            return usage();
        }
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    if (!host || ::inet_pton(AF_INET, host, &server.sin_addr) != 1)
        return usage();

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(timeoutSeconds);
    timeout.tv_usec = static_cast<suseconds_t>((timeoutSeconds - static_cast<double>(timeout.tv_sec)) * 1e6);
    // connect() lets the kernel drop datagrams from any other address or port.
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) < 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) < 0) {
        std::perror("ntp_blocking_client: socket");
        return 1;
    }

    // Leap 0, version 4, mode 3; random transmit bits the reply must echo.
    std::array<unsigned char, kPacketSize> request{};
    request[0] = 0x23;
    if (::getrandom(request.data() + 40, 8, 0) != 8) {
        std::perror("ntp_blocking_client: getrandom");
        return 1;
    }
    const std::int64_t m1 = nanoseconds(CLOCK_MONOTONIC);
    if (::send(fd, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size())) {
        std::perror("ntp_blocking_client: send");
        return 1;
    }
    std::array<unsigned char, 512> reply{};
    for (;;) {
        const ssize_t n = ::recv(fd, reply.data(), reply.size(), 0);
        const std::int64_t t4 = nanoseconds(CLOCK_REALTIME);
        const std::int64_t m4 = nanoseconds(CLOCK_MONOTONIC);
        // Stray datagrams each restart the receive time-out: bound the whole wait.
        if (n < 0 || static_cast<double>(m4 - m1) > timeoutSeconds * 1e9) {
            std::fprintf(stderr, "ntp_blocking_client: no reply\n");
            return 1;
        }
        // A reply that does not echo our bits answers someone else: keep waiting.
        if (n < static_cast<ssize_t>(kPacketSize) || std::memcmp(reply.data() + 24, request.data() + 40, 8) != 0)
            continue;
        const int mode = reply[0] & 7;
        const int stratum = reply[1];
        const std::uint64_t transmit = readBigEndian64(reply.data() + 40);
        if (mode != 4 || stratum == 0 || stratum >= 16 || (reply[0] >> 6) == 3 || transmit == 0) {
            std::fprintf(stderr, "ntp_blocking_client: unusable reply (mode %d, stratum %d)\n", mode, stratum);
            return 1;
        }
        const std::int64_t t1 = t4 - (m4 - m1);
        const std::int64_t t2 = unixNanoseconds(readBigEndian64(reply.data() + 32), t4);
        const std::int64_t t3 = unixNanoseconds(transmit, t4);
        const double offset = (static_cast<double>(t2 - t1) + static_cast<double>(t3 - t4)) / 2e9;
        const double delay = static_cast<double>((t4 - t1) - (t3 - t2)) / 1e9;
        std::printf("offset %.9f delay %.9f\n", offset, delay);
        ::close(fd);
        return 0;
    }
}
