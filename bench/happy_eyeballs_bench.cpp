// Time from open() to a connection, on the dual-stack transport, to a name
// whose IPv6 address never completes a connect (a listener with a full
// backlog on [::1]) and whose IPv4 address answers (127.0.0.1, same port).
// The name comes from a private hosts file: bench/happy_eyeballs_bench.sh
// and tests/integration/ipv6_names_test.sh set it up. Also the cost of
// opening to a numeric address, and the look-up threads that took (none).
//
//   happy_eyeballs_bench [benchmark flags]       Google Benchmark run
//   happy_eyeballs_bench --once                  one open: notices and time
// The name is $TIKORA_BENCH_NAME (default dual.tikora.bench).
#include "check/dual_stack_transport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <benchmark/benchmark.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string benchName()
{
    const char* name = std::getenv("TIKORA_BENCH_NAME");
    return name && *name ? name : "dual.tikora.bench";
}

// The blocked IPv6 listener and the answering IPv4 one, on one port number.
class Peers {
public:
    Peers()
    {
        for (int tries = 0; tries < 20 && port_ == 0; ++tries) {
            closeAll();
            v6_ = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in6 a6{};
            a6.sin6_family = AF_INET6;
            a6.sin6_addr = in6addr_loopback;
            socklen_t length = sizeof a6;
            if (::bind(v6_, reinterpret_cast<sockaddr*>(&a6), sizeof a6) != 0 || ::listen(v6_, 0) != 0)
                continue;
            ::getsockname(v6_, reinterpret_cast<sockaddr*>(&a6), &length);
            v4_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            sockaddr_in a4{};
            a4.sin_family = AF_INET;
            a4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a4.sin_port = a6.sin6_port;
            if (::bind(v4_, reinterpret_cast<sockaddr*>(&a4), sizeof a4) != 0 || ::listen(v4_, 64) != 0)
                continue;
            port_ = ntohs(a6.sin6_port);
            // Fill the IPv6 backlog: from now on its SYNs are dropped.
            for (int i = 0; i < 3; ++i) {
                const int client = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                ::connect(client, reinterpret_cast<sockaddr*>(&a6), sizeof a6);
                queued_.push_back(client);
            }
            ::usleep(50'000);
        }
    }
    ~Peers() { closeAll(); }
    std::uint16_t port() const { return port_; }
    // Takes the connections the IPv4 listener has accepted meanwhile.
    void drain()
    {
        for (int fd; (fd = ::accept4(v4_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
            ::close(fd);
    }

private:
    void closeAll()
    {
        for (int fd : queued_)
            ::close(fd);
        queued_.clear();
        for (int* fd : {&v6_, &v4_})
            if (*fd >= 0)
                ::close(*fd), *fd = -1;
    }
    int v6_ = -1, v4_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> queued_;
};

struct Watch : check::TransportReceiver {
    std::vector<std::string> notices;
    bool done = false;
    void transportLookingUp() override { notices.push_back("looking up"); }
    void transportConnecting(const std::string& address) override { notices.push_back("connecting " + address); }
    void transportConnected() override { notices.push_back("connected"), done = true; }
    void transportFailed(const std::string& reason, bool) override { notices.push_back("failed: " + reason), done = true; }
    void transportReadable() override {}
    void transportClosed() override {}
    void transportTimedOut() override { notices.push_back("timed out"), done = true; }
};

// Opens once; the milliseconds to the notice that ended it.
double openOnce(check::DualStackTransport& transport, Watch& watch, const std::string& host, std::uint16_t port)
{
    watch = Watch{};
    transport.setReceiver(&watch);
    QElapsedTimer clock;
    clock.start();
    transport.open(check::Endpoint{host, std::to_string(port), check::TransportKind::Stream, 5});
    while (!watch.done && clock.elapsed() < 6000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    const double milliseconds = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    transport.close();
    return milliseconds;
}

void runOpens(benchmark::State& state, const std::string& host)
{
    Peers peers;
    if (peers.port() == 0) {
        state.SkipWithError("no port free on both [::1] and 127.0.0.1");
        return;
    }
    check::DualStackTransport transport;
    Watch watch;
    const int threadsBefore = platform::AddressLookup::threadsStarted();
    for (auto _ : state) {
        state.SetIterationTime(openOnce(transport, watch, host, peers.port()) / 1e3);
        if (watch.notices.back() != "connected") {
            state.SkipWithError(("no connection: " + watch.notices.back()).c_str());
            return;
        }
        peers.drain();
    }
    state.counters["lookupThreadsPerOpen"] =
        static_cast<double>(platform::AddressLookup::threadsStarted() - threadsBefore) / static_cast<double>(state.iterations());
}

void BM_NameWithBlockedIpv6(benchmark::State& state)
{
    runOpens(state, benchName());
}
BENCHMARK(BM_NameWithBlockedIpv6)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_NumericIpv4(benchmark::State& state)
{
    runOpens(state, "127.0.0.1");
}
BENCHMARK(BM_NumericIpv4)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

int runOnce()
{
    Peers peers;
    check::DualStackTransport transport;
    Watch watch;
    const int threadsBefore = platform::AddressLookup::threadsStarted();
    const double milliseconds = openOnce(transport, watch, benchName(), peers.port());
    for (const std::string& notice : watch.notices)
        std::printf("%s\n", notice.c_str());
    std::printf("after %.1f ms, %d look-up thread(s)\n", milliseconds,
                platform::AddressLookup::threadsStarted() - threadsBefore);
    return watch.notices.back() == "connected" ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--once") == 0)
        return runOnce();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
