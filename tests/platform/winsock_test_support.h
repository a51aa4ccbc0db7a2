#pragma once
// Helpers for the socket tests: a recording window, bounded message pumping,
// and plain POSIX peers on 127.0.0.1.

#include "platform/messages.h"
#include "platform/winsock.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace winsock_test {

namespace ws = platform::ws;

constexpr auto kPatience = std::chrono::seconds(3);          // upper bound for anything expected
constexpr auto kQuietPeriod = std::chrono::milliseconds(250); // "nothing more arrives"

// Pumps the event loop until `done` holds or `limit` passes; returns `done()`.
inline bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kPatience)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline void pumpFor(std::chrono::milliseconds period)
{
    pumpUntil([] { return false; }, period);
}

// A window that keeps every message it receives.
class RecordingWindow {
public:
    RecordingWindow() : window_([this](platform::Message& m) { messages.push_back(m); }) {}
    platform::HWND handle() const { return window_.handle(); }
    bool waitForCount(std::size_t count) { return pumpUntil([&] { return messages.size() >= count; }); }
    std::vector<platform::Message> messages;

private:
    platform::MessageWindow window_;
};

// Starts the socket library for one test and stops it afterwards.
class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ws::WSADATA data;
        ASSERT_EQ(ws::WSAStartup(257, &data), 0);
    }
    void TearDown() override { ws::WSACleanup(); }
};

inline sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

inline ws::SOCKADDR_IN winsockLoopback(std::uint16_t port)
{
    ws::SOCKADDR_IN address;
    address.sin_port = htons(port);
    address.sin_addr = htonl(INADDR_LOOPBACK);
    return address;
}

inline std::uint16_t localPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// A POSIX descriptor closed when the test ends.
struct Fd {
    explicit Fd(int fd = -1) : fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    void reset()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int fd;
};

// A blocking POSIX listener on 127.0.0.1 with an ephemeral port.
inline int plainListener()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::listen(fd, 8);
    return fd;
}

// A port nobody listens on: bound once, then released.
inline std::uint16_t closedPort()
{
    Fd probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopback(0);
    ::bind(probe.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return localPort(probe.fd);
}

inline unsigned int eventOf(const platform::Message& m) { return platform::LowWord(m.lParam); }
inline unsigned int errorOf(const platform::Message& m) { return platform::HighWord(m.lParam); }

} // namespace winsock_test
