// One RFC 868 exchange on loopback (connect, four bytes, close), three ways:
// a minimal blocking POSIX client, the event-driven TClientSocket, and the
// whole cli::TimeCheck with its log. The blocking client is the floor the
// socket layer is read against. The server is a thread of this program that
// writes the four bytes as soon as it accepts.

#include "cli/time_check.h"
#include "net/client_socket.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

// Seconds from 1900-01-01 to 1970-01-01, the offset of RFC 868's epoch.
constexpr std::int64_t kSecondsFrom1900To1970 = 2208988800;

class LoopbackTimeServer {
public:
    LoopbackTimeServer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        const int reuse = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
            ::listen(listener_, 128) < 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) < 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackTimeServer()
    {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);   // wakes the blocked accept
        thread_.join();
        ::close(listener_);
    }
    LoopbackTimeServer(const LoopbackTimeServer&) = delete;
    LoopbackTimeServer& operator=(const LoopbackTimeServer&) = delete;

    std::uint16_t port() const { return port_; }

private:
    void serve()
    {
        while (!stopping_) {
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            const auto stamp = static_cast<std::uint32_t>(std::time(nullptr) + kSecondsFrom1900To1970);
            const std::uint32_t wire = htonl(stamp);
            ::send(fd, &wire, sizeof wire, MSG_NOSIGNAL);
            ::close(fd);
        }
    }

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

LoopbackTimeServer& server()
{
    static LoopbackTimeServer instance;
    return instance;
}

void BM_BlockingClientExchange(benchmark::State& state)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server().port());
    for (auto _ : state) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
            state.SkipWithError("connect failed");
            ::close(fd);
            break;
        }
        std::array<unsigned char, 4> bytes{};
        std::size_t received = 0;
        while (received < bytes.size()) {
            const ssize_t n = ::recv(fd, bytes.data() + received, bytes.size() - received, 0);
            if (n <= 0)
                break;
            received += static_cast<std::size_t>(n);
        }
        ::close(fd);
        if (received != bytes.size()) {
            state.SkipWithError("short answer");
            break;
        }
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_BlockingClientExchange)->UseRealTime();

// The control is reused for every exchange, as the window reuses its own.
void BM_ClientSocketExchange(benchmark::State& state)
{
    TClientSocket cli;
    cli.SetAddress("127.0.0.1");
    cli.SetPort(std::to_string(server().port()));
    cli.SetProtocol("tcp");
    QEventLoop loop;
    std::array<char, 4> bytes{};
    int received = 0;
    bool done = false;
    auto finish = [&](TSocketBase* socket) {
        if (done)
            return;
        done = true;
        if (socket->Handle != ws::INVALID_SOCKET) {
            SocketInUse inUse(socket);
            socket->Close();
        }
        loop.quit();
    };
    auto collect = [&](TSocketBase* socket) {
        if (done || !socket->IsConnected())
            return;
        received += socket->Read(bytes.data() + received, 4 - received);
        if (received == 4)
            finish(socket);
    };
    cli.OnRead = [&](TSockCtrl*, TSocketBase* socket) { collect(socket); };
    cli.OnDisconnect = [&](TSockCtrl*, TSocketBase* socket) {
        collect(socket);
        finish(socket);
    };
    cli.OnConnect = [&](TSockCtrl*, TSocketBase* socket) {
        if (socket->LastError != 0)
            finish(socket);
    };
    for (auto _ : state) {
        received = 0;
        done = false;
        cli.Open(SocketClassOf<TStreamSocket>);
        if (!done)
            loop.exec();
        if (received != 4) {
            state.SkipWithError("short answer");
            break;
        }
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_ClientSocketExchange)->UseRealTime();

// The terminal program's whole check, output discarded.
void BM_TimeCheckExchange(benchmark::State& state)
{
    cli::TimeCheckOptions options;
    options.host = "127.0.0.1";
    options.port = std::to_string(server().port());
    options.timeOutSeconds = 10;
    options.retries = 0;
    cli::TimeCheckIo io;
    io.log = [](const std::string& line) { benchmark::DoNotOptimize(line.data()); };
    io.result = io.log;
    io.detail = io.log;
    io.utcNowNanoseconds = [] { return std::int64_t{std::time(nullptr)} * 1'000'000'000; };
    io.utcOffsetSeconds = [] { return 0; };
    io.formatTime = [](int secondsOfDay) { return std::to_string(secondsOfDay); };
    QEventLoop loop;
    for (auto _ : state) {
        cli::TimeCheck check(options, io);
        check.start([&loop](cli::TimeCheck::Outcome) { loop.quit(); });
        if (check.outcome() == cli::TimeCheck::Outcome::Running)
            loop.exec();
        if (check.outcome() != cli::TimeCheck::Outcome::Completed) {
            state.SkipWithError("check failed");
            break;
        }
    }
}
BENCHMARK(BM_TimeCheckExchange)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
