// A loopback NTP server (RFC 5905 over UDP) that misbehaves on request, for
// the end-to-end tests of the NTP check. Plain POSIX, no Qt and none of the
// project's code, so a fault in the packet module cannot hide in the peer too.
//
// Usage: ntp_peer MODE [--address A] [--port P] [--offset SECONDS] [--delay-ms N] [--wire-ms N]
//                 [--code XXXX] [--length N] [--gap-ms N] [--ignore-first N]
//                 [--requests N] [--bound SECONDS] [--flood N] [--rate PPM]
// Binds 127.0.0.1 (or the loopback address given) on the port given (default: a free one) and prints that
// port as the first line of stdout, and "request N" on stderr for each client
// request it reads. Exits after N requests were served
// (default: no limit) or after the bound (default 60 s), whichever is first.
// Apart from what the mode breaks, every reply is a correct server reply:
// version 4, mode 4, stratum 2, reference id 127.0.0.1, small root delay and
// dispersion, the request's transmit bits as origin, T2 taken on receipt and
// T3 just before sending, both from CLOCK_REALTIME plus the offset. With
// --rate the server's clock runs that many parts per million fast (negative:
// slow) from the moment it starts, for the drift's end-to-end test.

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <thread>

namespace {

enum class Mode {
    Good, Kiss, Leap3, Stratum16, Far, WrongOrigin, Mode3, ZeroTransmit, ZeroReceive, Says1970, ReceiveEarly,
    ReceiveLate, Short, ShortFirst, Flood, Silent, ForgedFirst, OtherPort
};

struct ModeName {
    std::string_view name;
    Mode mode;
};

constexpr ModeName kModes[] = {
    {"good", Mode::Good},                    // a correct reply
    {"kiss", Mode::Kiss},                    // stratum 0, leap 3, reference id = --code (default RATE)
    {"leap3", Mode::Leap3},                  // leap indicator 3: not synchronised
    {"stratum16", Mode::Stratum16},          // stratum 16: not synchronised
    {"far", Mode::Far},                      // root dispersion 2 s: too far from a reference
    {"wrong-origin", Mode::WrongOrigin},     // origin is not the request's transmit bits
    {"mode3", Mode::Mode3},                  // answers as a client
    {"zero-transmit", Mode::ZeroTransmit},   // transmit timestamp 0
    {"zero-receive", Mode::ZeroReceive},     // receive timestamp 0
    {"1970", Mode::Says1970},                // a clock that started at 1970-01-01 00:00:00 UTC when the peer did
    {"receive-early", Mode::ReceiveEarly},   // T2 = T3 - 100 s: held the request 100 s
    {"receive-late", Mode::ReceiveLate},     // T2 = T3 + 100 s: sent before it received
    {"short", Mode::Short},                  // only the first --length bytes (default 40)
    {"short-first", Mode::ShortFirst},       // --length bytes, then after --gap-ms the whole reply
    {"flood", Mode::Flood},                  // --flood datagrams that answer nothing, then after --gap-ms the reply
    {"silent", Mode::Silent},                // reads requests, never answers
    {"forged-first", Mode::ForgedFirst},     // a wrong-origin reply, then after --gap-ms the true one
    {"other-port", Mode::OtherPort},         // a correct reply, but sent from another port
};

constexpr std::size_t kPacketSize = 48;
// Seconds from 1900-01-01 (NTP's era 0) to 1970-01-01.
constexpr std::int64_t kNtpSecondsTo1970 = 2208988800;
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;

struct Options {
    Mode mode = Mode::Good;
    long port = 0;
    in_addr address{htonl(INADDR_LOOPBACK)};
    std::int64_t offsetNs = 0;   // added to both server timestamps
    long delayMs = 0;            // held between T2 and T3: shows as server time, not as delay
    long wireMs = 0;             // held before T2: shows as path delay
    std::string code = "RATE";
    long length = 40;
    long gapMs = 50;
    long ignoreFirst = 0;        // requests left unanswered before the mode applies
    long requests = -1;          // -1: serve until the bound
    long boundSeconds = 60;
    long flood = 10'000;         // datagrams sent before the reply in flood mode
};

// The server clock's frequency error, from its start; set once in main.
struct Rate {
    double ppm = 0;
    std::int64_t startNs = 0;
};
Rate rate;

// A receive time this far from the transmit time, in the receive-early and -late modes.
constexpr std::uint64_t kShiftedReceive = std::uint64_t{100} << 32;   // 100 s

[[noreturn]] void usage(const char* message)
{
    std::fprintf(stderr,
                 "ntp_peer: %s\n"
                 "usage: ntp_peer MODE [--address A] [--port P] [--offset SECONDS] [--delay-ms N] [--wire-ms N] [--code XXXX]\n"
                 "                [--length N] [--gap-ms N] [--ignore-first N] [--requests N] [--bound SECONDS]\n"
                 "                [--flood N] [--rate PPM]\n"
                 "modes: good kiss leap3 stratum16 far wrong-origin mode3 zero-transmit zero-receive 1970\n"
                 "       receive-early receive-late short short-first flood silent forged-first other-port\n",
                 message);
    std::exit(2);
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "ntp_peer: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

long number(const char* text, long low, long high)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        usage("not a number in range");
    return value;
}

std::int64_t secondsAsNanoseconds(const char* text)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    // Within a century either way: beyond that the era rule would be tested, not the offset.
    if (errno != 0 || end == text || *end != '\0' || !std::isfinite(value) || std::fabs(value) > 3.2e9)
        usage("not an offset in seconds");
    return std::llround(value * 1e9);
}

Options parse(int argc, char** argv)
{
    if (argc < 2)
        usage("no mode given");
    Options options;
    bool known = false;
    for (const ModeName& m : kModes) {
        if (m.name == argv[1]) {
            options.mode = m.mode;
            known = true;
        }
    }
    if (!known)
        usage("unknown mode");
    constexpr long kHour = 3'600'000;
    for (int i = 2; i < argc; i += 2) {
        const std::string_view flag = argv[i];
        if (i + 1 >= argc)
            usage("option without a value");
        const char* value = argv[i + 1];
        if (flag == "--port")
            options.port = number(value, 0, 65535);
        else if (flag == "--address") {
            // Loopback only: the peer is for tests on this machine.
            if (::inet_pton(AF_INET, value, &options.address) != 1 || (ntohl(options.address.s_addr) >> 24) != 127)
                usage("--address takes an IPv4 loopback address");
        }
        else if (flag == "--offset")
            options.offsetNs = secondsAsNanoseconds(value);
        else if (flag == "--delay-ms")
            options.delayMs = number(value, 0, kHour);
        else if (flag == "--wire-ms")
            options.wireMs = number(value, 0, kHour);
        else if (flag == "--code")
            options.code = value;
        else if (flag == "--length")
            options.length = number(value, 0, static_cast<long>(kPacketSize));
        else if (flag == "--gap-ms")
            options.gapMs = number(value, 0, kHour);
        else if (flag == "--ignore-first")
            options.ignoreFirst = number(value, 0, 1000);
        else if (flag == "--requests")
            options.requests = number(value, 1, 1'000'000);
        else if (flag == "--bound")
            options.boundSeconds = number(value, 1, 3600);
        else if (flag == "--flood")
            options.flood = number(value, 1, 1'000'000);
        else if (flag == "--rate")
            rate.ppm = double(number(value, -100'000, 100'000));
        else
            usage("unknown option");
    }
    if (options.code.size() > 4)
        usage("a kiss code has at most four letters");
    return options;
}

using Packet = std::array<std::uint8_t, kPacketSize>;

std::int64_t nanosecondsOf(const timespec& time)
{
    return std::int64_t{time.tv_sec} * kNanosecondsPerSecond + time.tv_nsec;
}

// A moment of the real-time clock plus the offset, as an NTP timestamp.
std::uint64_t serverTime(std::int64_t realtimeNs, std::int64_t offsetNs)
{
    const std::int64_t gainedNs = std::llround(double(realtimeNs - rate.startNs) * rate.ppm * 1e-6);
    const std::int64_t total = realtimeNs + offsetNs + gainedNs;
    std::int64_t seconds = total / kNanosecondsPerSecond;
    std::int64_t rest = total % kNanosecondsPerSecond;
    if (rest < 0) {
        rest += kNanosecondsPerSecond;
        --seconds;
    }
    const auto era = static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds + kNtpSecondsTo1970));
    const std::uint64_t fraction = (static_cast<std::uint64_t>(rest) << 32) / kNanosecondsPerSecond;
    return (std::uint64_t{era} << 32) | fraction;
}

// The server clock now.
std::uint64_t serverNow(std::int64_t offsetNs)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return serverTime(nanosecondsOf(now), offsetNs);
}

// The kernel's stamp of the datagram just read, so T2 is not late by this
// process's own wake-up (a reference server should be no less exact than its
// client); none when the kernel kept none.
bool arrivalOfLastRead(int fd, std::int64_t& realtimeNs)
{
    timespec arrival{};
    if (::ioctl(fd, SIOCGSTAMPNS, &arrival) != 0)
        return false;
    realtimeNs = nanosecondsOf(arrival);
    return true;
}

void put32(Packet& packet, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        packet[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

void put64(Packet& packet, std::size_t at, std::uint64_t value)
{
    put32(packet, at, static_cast<std::uint32_t>(value >> 32));
    put32(packet, at + 4, static_cast<std::uint32_t>(value));
}

Packet replyTo(const Packet& request, std::uint64_t receive, const Options& options)
{
    const Mode mode = options.mode;
    int leap = 0;
    int stratum = 2;
    int packetMode = 4;
    std::uint32_t rootDispersion = 0x00000200;   // 7.8 ms in 16.16 seconds
    std::array<std::uint8_t, 4> referenceId = {127, 0, 0, 1};
    if (mode == Mode::Kiss) {
        leap = 3;
        stratum = 0;
        referenceId = {};
        std::memcpy(referenceId.data(), options.code.data(), options.code.size());
    }
    if (mode == Mode::Leap3)
        leap = 3;
    if (mode == Mode::Stratum16)
        stratum = 16;
    if (mode == Mode::Mode3)
        packetMode = 3;
    if (mode == Mode::Far)
        rootDispersion = 0x00020000;   // 2 s
    Packet reply{};
    reply[0] = static_cast<std::uint8_t>((leap << 6) | (4 << 3) | packetMode);
    reply[1] = static_cast<std::uint8_t>(stratum);
    reply[2] = request[2] != 0 ? request[2] : 6;   // the client's poll, as servers echo it
    reply[3] = static_cast<std::uint8_t>(-20);      // about a microsecond
    put32(reply, 4, 0x00000100);                    // root delay 3.9 ms
    put32(reply, 8, rootDispersion);
    std::memcpy(&reply[12], referenceId.data(), 4);
    put64(reply, 16, serverNow(options.offsetNs - 16 * kNanosecondsPerSecond));   // last set 16 s ago
    std::memcpy(&reply[24], &request[40], 8);       // origin = the request's transmit bits
    if (mode == Mode::WrongOrigin)
        reply[31] ^= 0x01;
    if (options.delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(options.delayMs));
    const std::uint64_t transmit = serverNow(options.offsetNs);
    std::uint64_t shownReceive = receive;
    if (mode == Mode::ZeroReceive)
        shownReceive = 0;
    if (mode == Mode::ReceiveEarly)
        shownReceive = transmit - kShiftedReceive;
    if (mode == Mode::ReceiveLate)
        shownReceive = transmit + kShiftedReceive;
    put64(reply, 32, shownReceive);
    put64(reply, 40, mode == Mode::ZeroTransmit ? 0 : transmit);
    return reply;
}

int bindUdp(in_addr host, long port, sockaddr_in& address)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        fail("socket");
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr = host;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0)
        fail("bind");
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) < 0)
        fail("getsockname");
    // The first ask turns the kernel's arrival stamps on; it has none to give yet.
    timespec unused{};
    ::ioctl(fd, SIOCGSTAMPNS, &unused);
    return fd;
}

void sendTo(int fd, const std::uint8_t* bytes, std::size_t count, const sockaddr_in& client)
{
    if (::sendto(fd, bytes, count, 0, reinterpret_cast<const sockaddr*>(&client), sizeof client) < 0)
        std::fprintf(stderr, "ntp_peer: sendto: %s\n", std::strerror(errno));
}

void answer(int fd, int otherFd, const Packet& request, const sockaddr_in& client, const Options& options)
{
    std::int64_t arrivedNs = 0;
    const bool stamped = arrivalOfLastRead(fd, arrivedNs);
    if (options.wireMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(options.wireMs));
    const std::uint64_t receive =
        stamped && options.wireMs == 0 ? serverTime(arrivedNs, options.offsetNs) : serverNow(options.offsetNs);
    // The true answer, after what came first has had its gap.
    const auto answerAfterGap = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(options.gapMs));
        Options honest = options;
        honest.mode = Mode::Good;
        const Packet reply = replyTo(request, receive, honest);
        sendTo(fd, reply.data(), reply.size(), client);
    };
    switch (options.mode) {
    case Mode::Silent:
        return;
    case Mode::ForgedFirst: {
        Options forged = options;
        forged.mode = Mode::WrongOrigin;
        forged.delayMs = 0;
        const Packet early = replyTo(request, receive, forged);
        sendTo(fd, early.data(), early.size(), client);
        answerAfterGap();
        return;
    }
    case Mode::OtherPort: {
        const Packet reply = replyTo(request, receive, options);
        sendTo(otherFd, reply.data(), reply.size(), client);
        return;
    }
    case Mode::Short: {
        const Packet reply = replyTo(request, receive, options);
        sendTo(fd, reply.data(), static_cast<std::size_t>(options.length), client);
        return;
    }
    case Mode::ShortFirst: {
        Options honest = options;
        honest.mode = Mode::Good;
        const Packet early = replyTo(request, receive, honest);
        sendTo(fd, early.data(), static_cast<std::size_t>(options.length), client);
        answerAfterGap();
        return;
    }
    case Mode::Flood: {
        // Whole replies with a wrong origin and short ones, turn about: both
        // must be passed over without ending the wait or filling the log.
        Options forged = options;
        forged.mode = Mode::WrongOrigin;
        forged.delayMs = 0;
        const Packet junk = replyTo(request, receive, forged);
        long failed = 0;
        for (long i = 0; i < options.flood; ++i) {
            const std::size_t count = i % 2 == 0 ? junk.size() : 20;
            if (::sendto(fd, junk.data(), count, 0, reinterpret_cast<const sockaddr*>(&client), sizeof client) < 0)
                ++failed;
        }
        if (failed > 0)
            std::fprintf(stderr, "ntp_peer: %ld of %ld flood datagrams not sent\n", failed, options.flood);
        // Time for the client to drain its queue, so the kernel keeps the reply.
        answerAfterGap();
        return;
    }
    default: {
        const Packet reply = replyTo(request, receive, options);
        sendTo(fd, reply.data(), reply.size(), client);
        return;
    }
    }
}

} // namespace

int main(int argc, char** argv)
{
    Options options = parse(argc, argv);
    timespec started{};
    ::clock_gettime(CLOCK_REALTIME, &started);
    rate.startNs = nanosecondsOf(started);
    if (options.mode == Mode::Says1970) {
        // The server's clock reads 1970-01-01 00:00:00 UTC now and runs on.
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        options.offsetNs = -nanosecondsOf(now);
    }
    // Whatever happens, the process ends by itself.
    ::alarm(static_cast<unsigned>(options.boundSeconds + 5));

    sockaddr_in address{};
    const int fd = bindUdp(options.address, options.port, address);
    sockaddr_in otherAddress{};
    const int otherFd = options.mode == Mode::OtherPort ? bindUdp(options.address, 0, otherAddress) : -1;
    std::printf("%u\n", static_cast<unsigned>(ntohs(address.sin_port)));
    std::fflush(stdout);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.boundSeconds);
    long seen = 0;
    long served = 0;   // silent ones count too; the --ignore-first ones do not
    while (options.requests < 0 || served < options.requests) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            fail("poll");
        if (ready <= 0)
            continue;
        Packet request{};
        sockaddr_in client{};
        socklen_t clientLength = sizeof client;
        const ssize_t got = ::recvfrom(fd, request.data(), request.size(), MSG_TRUNC,
                                       reinterpret_cast<sockaddr*>(&client), &clientLength);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            fail("recvfrom");
        }
        // Only client requests are served, as a real server does.
        if (got < static_cast<ssize_t>(kPacketSize) || (request[0] & 7) != 3)
            continue;
        const bool ignored = ++seen <= options.ignoreFirst;
        if (!ignored) {
            answer(fd, otherFd, request, client, options);
            ++served;
        }
        // Counted on stderr, after the answer so as not to delay it, for a
        // test that checks how often a client asked.
        std::fprintf(stderr, "request %ld\n", seen);
    }
    ::close(fd);
    if (otherFd >= 0)
        ::close(otherFd);
    return 0;
}
