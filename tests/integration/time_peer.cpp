// A loopback Time server (RFC 868 over TCP) that misbehaves on request, for
// the end-to-end tests of `tikora-cli check`. Plain POSIX, no Qt, so a fault
// in the project's socket layer cannot hide in the peer as well.
//
// Usage: time_peer MODE [--offset SECONDS] [--connections N] [--bound SECONDS]
// Binds 127.0.0.1 on a free port and prints that port as the first line of
// stdout. Exits after N connections were served (default: no limit) or after
// the bound (default 60 s), whichever comes first.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

enum class Mode { Good, Drip, TwoThenClose, ThreeThenSilent, Close, Silent, Hang };

struct ModeName {
    std::string_view name;
    Mode mode;
};

constexpr ModeName kModes[] = {
    {"good", Mode::Good},                            // four bytes of now, then close
    {"drip", Mode::Drip},                            // the four bytes one write at a time
    {"two-then-close", Mode::TwoThenClose},          // half a timestamp, then close
    {"three-then-silent", Mode::ThreeThenSilent},    // three bytes, then nothing, left open
    {"close", Mode::Close},                          // accept and close at once
    {"silent", Mode::Silent},                        // accept and never answer
    {"hang", Mode::Hang},                            // never complete a connection at all
};

// Seconds from 1900-01-01 to 1970-01-01, the offset of RFC 868's epoch.
constexpr std::int64_t kSecondsFrom1900To1970 = 2208988800;
constexpr auto kDripGap = std::chrono::milliseconds(50);

struct Options {
    Mode mode = Mode::Good;
    long offsetSeconds = 0;   // added to the time sent, to make the clocks differ
    long connections = -1;    // -1: serve until the bound
    long boundSeconds = 60;
};

[[noreturn]] void usage(const char* message)
{
    std::fprintf(stderr, "time_peer: %s\n"
                         "usage: time_peer MODE [--offset SECONDS] [--connections N] [--bound SECONDS]\n"
                         "modes: good drip two-then-close three-then-silent close silent hang\n",
                 message);
    std::exit(2);
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "time_peer: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

long number(const char* text)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0')
        usage("not a number");
    return value;
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
    for (int i = 2; i < argc; i += 2) {
        const std::string_view flag = argv[i];
        if (i + 1 >= argc)
            usage("option without a value");
        if (flag == "--offset")
            options.offsetSeconds = number(argv[i + 1]);
        else if (flag == "--connections")
            options.connections = number(argv[i + 1]);
        else if (flag == "--bound")
            options.boundSeconds = number(argv[i + 1]);
        else
            usage("unknown option");
    }
    return options;
}

std::array<unsigned char, 4> timestampNow(long offsetSeconds)
{
    // The count is taken modulo 2^32, as the protocol's 32 bits wrap in 2036.
    const auto stamp = static_cast<std::uint32_t>(std::time(nullptr) + kSecondsFrom1900To1970 + offsetSeconds);
    return {static_cast<unsigned char>(stamp >> 24), static_cast<unsigned char>(stamp >> 16),
            static_cast<unsigned char>(stamp >> 8), static_cast<unsigned char>(stamp)};
}

// Every write must go out whole: a short write would turn "drip" into
// something else and the test would prove nothing.
bool sendAll(int fd, const unsigned char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0) {
            std::fprintf(stderr, "time_peer: send: %s\n", std::strerror(errno));
            return false;
        }
        bytes += sent;
        count -= static_cast<std::size_t>(sent);
    }
    return true;
}

// Holds a connection open without answering until the client gives up (EOF
// or error) or the process ends.
void waitForClientClose(int fd)
{
    char sink[64];
    while (::recv(fd, sink, sizeof sink, 0) > 0) {
    }
}

void serve(int fd, const Options& options)
{
    const auto stamp = timestampNow(options.offsetSeconds);
    switch (options.mode) {
    case Mode::Good:
        sendAll(fd, stamp.data(), stamp.size());
        break;
    case Mode::Drip:
        for (std::size_t i = 0; i < stamp.size(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(kDripGap);
            if (!sendAll(fd, &stamp[i], 1))
                break;
        }
        break;
    case Mode::TwoThenClose:
        sendAll(fd, stamp.data(), 2);
        break;
    case Mode::ThreeThenSilent:
        if (sendAll(fd, stamp.data(), 3))
            waitForClientClose(fd);
        break;
    case Mode::Close:
        break;
    case Mode::Silent:
        waitForClientClose(fd);
        break;
    case Mode::Hang:
        break;   // never reached: nothing is accepted
    }
    ::close(fd);
}

int listenOnLoopback(int backlog, sockaddr_in& address)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        fail("socket");
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0)
        fail("bind");
    if (::listen(fd, backlog) < 0)
        fail("listen");
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) < 0)
        fail("getsockname");
    return fd;
}

} // namespace

int main(int argc, char** argv)
{
    const Options options = parse(argc, argv);
    ::signal(SIGPIPE, SIG_IGN);
    // Whatever happens, the process ends by itself.
    ::alarm(static_cast<unsigned>(options.boundSeconds > 0 ? options.boundSeconds : 60));

    // Linux queues backlog + 1 connections; with backlog 0 the peer's own
    // unaccepted connect fills the queue, further SYNs are dropped and a
    // client's connect hangs until its own time-out.
    sockaddr_in address{};
    const int listener = listenOnLoopback(options.mode == Mode::Hang ? 0 : 16, address);
    int filler = -1;
    if (options.mode == Mode::Hang) {
        filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (filler < 0 || ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0)
            fail("filling the accept queue");
    }

    std::printf("%u\n", static_cast<unsigned>(ntohs(address.sin_port)));
    std::fflush(stdout);

    if (options.mode == Mode::Hang) {
        ::pause();   // until the alarm or the test's kill
        return 0;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.boundSeconds);
    std::vector<std::thread> workers;
    long served = 0;
    while (options.connections < 0 || served < options.connections) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd waiting{listener, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            fail("poll");
        if (ready <= 0)
            continue;
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            fail("accept");
        }
        ++served;
        workers.emplace_back(serve, fd, std::cref(options));
    }
    // Connections held open (silent modes) end with the process at the bound
    // or when their clients close; joining waits for the clients.
    for (std::thread& worker : workers)
        worker.join();
    ::close(listener);
    return 0;
}
