#pragma once
// Small loopback peers and an event pump with a deadline for socket tests.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

namespace testing_support {

// Runs the event loop until `done` holds or `milliseconds` pass; true if done.
inline bool pumpUntil(const std::function<bool()>& done, int milliseconds = 5000)
{
    QElapsedTimer clock;
    clock.start();
    QTimer wake;   // keeps WaitForMoreEvents from sleeping past the deadline
    wake.start(20);
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Keeps the event loop running for a while, whatever happens.
inline void pumpFor(int milliseconds)
{
    pumpUntil([] { return false; }, milliseconds);
}

// The message of what `action` raised, or "" when it raised nothing.
inline std::string raisedBy(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

// A listening TCP socket on 127.0.0.1 at a port of the kernel's choice.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 8)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, backlog);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackListener()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    std::uint16_t port() const { return port_; }
    int fd() const { return fd_; }
    // The next waiting connection (the handshake is done by the kernel).
    int accept() { return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC); }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A UDP socket bound to 127.0.0.1 at a port of the kernel's choice.
class LoopbackDatagramSocket {
public:
    explicit LoopbackDatagramSocket(bool nonBlocking = false)
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackDatagramSocket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LoopbackDatagramSocket(const LoopbackDatagramSocket&) = delete;
    LoopbackDatagramSocket& operator=(const LoopbackDatagramSocket&) = delete;

    std::uint16_t port() const { return port_; }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A port on which nothing listens.
inline std::uint16_t closedPort()
{
    LoopbackListener listener;
    return listener.port();
}

} // namespace testing_support
