#pragma once
// A loopback NTP server on a thread of its own: each request gets a correct
// server reply whose timestamps are the real-time clock moved by an offset.
// Written from RFC 5905 alone, so the packet module cannot hide a fault here.

#include "net/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <ctime>
#include <thread>

namespace testing_support {

class NtpResponder {
public:
    explicit NtpResponder(std::int64_t offsetNs) : offsetNs_(offsetNs)
    {
        thread_ = std::thread([this] { serve(); });
    }
    ~NtpResponder()
    {
        stop_ = true;
        thread_.join();
    }
    NtpResponder(const NtpResponder&) = delete;
    NtpResponder& operator=(const NtpResponder&) = delete;

    std::uint16_t port() const { return socket_.port(); }
    int answered() const { return answered_; }

private:
    // The shifted real-time clock as an NTP timestamp (era 0).
    std::uint64_t now() const
    {
        timespec real{};
        ::clock_gettime(CLOCK_REALTIME, &real);
        const std::int64_t ns = std::int64_t{real.tv_sec} * 1000000000 + real.tv_nsec + offsetNs_;
        const std::uint64_t seconds = static_cast<std::uint64_t>(ns / 1000000000 + 2208988800LL);
        const std::uint64_t fraction = (static_cast<std::uint64_t>(ns % 1000000000) << 32) / 1000000000;
        return (seconds << 32) | fraction;
    }
    static void put(std::uint8_t* at, std::uint64_t stamp)
    {
        for (int i = 0; i < 8; ++i)
            at[i] = static_cast<std::uint8_t>(stamp >> (56 - 8 * i));
    }

    void serve()
    {
        // Bounded: at most 10 requests and 20 seconds.
        for (int polls = 0; polls < 1000 && answered_ < 10 && !stop_; ++polls) {
            pollfd entry{socket_.fd(), POLLIN, 0};
            if (::poll(&entry, 1, 20) <= 0)
                continue;
            std::uint8_t packet[48] = {};
            sockaddr_in client{};
            socklen_t length = sizeof client;
            const ssize_t got = ::recvfrom(socket_.fd(), packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&client), &length);
            const std::uint64_t received = now();
            if (got != 48)
                continue;
            std::uint8_t reply[48] = {};
            reply[0] = (0 << 6) | (4 << 3) | 4;   // no leap warning, version 4, server
            reply[1] = 2;                         // stratum 2
            reply[3] = static_cast<std::uint8_t>(-20);   // precision about a microsecond
            reply[12] = 127;                      // reference: 127.0.0.1
            reply[15] = 1;
            for (int i = 0; i < 8; ++i)
                reply[24 + i] = packet[40 + i];   // origin: the request's transmit bits
            put(reply + 16, received);
            put(reply + 32, received);
            put(reply + 40, now());
            // Counted before it goes: the client may finish and read the
            // count before this thread runs again after the send.
            ++answered_;
            ::sendto(socket_.fd(), reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&client), length);
        }
    }

    std::int64_t offsetNs_;
    LoopbackDatagramSocket socket_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
    std::thread thread_;
};

} // namespace testing_support
