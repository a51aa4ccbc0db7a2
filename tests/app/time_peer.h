#pragma once
// A loopback Time server on a thread of its own, answering each connection
// the way the test asks: whole, in single bytes, in part, not at all.

#include "net/loopback.h"
#include "net/timestamp.h"

#include <poll.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace testing_support {

class TimePeer {
public:
    enum class Answer { Whole, SixBytes, Drip, TwoThenClose, Silent, CloseAtOnce };

    TimePeer(Answer answer, TimestampBytes bytes) : answer_(answer), bytes_(bytes)
    {
        thread_ = std::thread([this] { serve(); });
    }
    ~TimePeer()
    {
        stop_ = true;
        thread_.join();
    }
    TimePeer(const TimePeer&) = delete;
    TimePeer& operator=(const TimePeer&) = delete;

    std::uint16_t port() const { return listener_.port(); }
    int connections() const { return connections_; }

private:
    // Waits up to `milliseconds` for `fd` to be readable, giving up early when stopped.
    bool readable(int fd, int milliseconds)
    {
        for (int waited = 0; waited < milliseconds && !stop_; waited += 20) {
            pollfd entry{fd, POLLIN, 0};
            if (::poll(&entry, 1, 20) > 0)
                return true;
        }
        return false;
    }
    void pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

    void serve()
    {
        // Bounded: at most 10 connections and 20 seconds.
        for (int served = 0; served < 10 && !stop_ && readable(listener_.fd(), 20000); ++served) {
            const int peer = listener_.accept();
            if (peer < 0)
                continue;
            ++connections_;
            const auto* data = reinterpret_cast<const char*>(bytes_.data());
            switch (answer_) {
            case Answer::Whole:
                ::send(peer, data, 4, MSG_NOSIGNAL);
                break;
            case Answer::SixBytes: {
                const char extra[6] = {data[0], data[1], data[2], data[3], 'x', 'y'};
                ::send(peer, extra, 6, MSG_NOSIGNAL);
                pause(200);
                break;
            }
            case Answer::Drip:
                for (int i = 0; i < 4; ++i) {
                    ::send(peer, data + i, 1, MSG_NOSIGNAL);
                    pause(80);
                }
                break;
            case Answer::TwoThenClose:
                ::send(peer, data, 2, MSG_NOSIGNAL);
                pause(50);
                break;
            case Answer::Silent:
                readable(peer, 3000);   // until the client closes, or 3 s
                break;
            case Answer::CloseAtOnce:
                break;
            }
            ::close(peer);
        }
    }

    LoopbackListener listener_;
    Answer answer_;
    TimestampBytes bytes_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

} // namespace testing_support
