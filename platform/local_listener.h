#pragma once
// A local (Unix) stream socket that listens at a path and hands each accepted
// connection's descriptor to a callback on the Qt loop. Unlike QLocalServer,
// which stops listening for good when an accept fails, it outlives a process
// that has run out of descriptors: it drops the newest connection, rests, and
// accepts again on the same socket.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;
class QTimer;

namespace platform {

class LocalListener {
public:
    // After running out of descriptors: long enough for idle peers to be dropped.
    static constexpr std::chrono::milliseconds kRestAfterExhaustion{1000};

    // `onConnection` owns the descriptor it is given (non-blocking, close-on-exec).
    explicit LocalListener(std::function<void(int descriptor)> onConnection);
    // Stops listening and removes the socket's file.
    ~LocalListener();
    LocalListener(const LocalListener&) = delete;
    LocalListener& operator=(const LocalListener&) = delete;

    // Replaces a file left at `path` by a copy that was killed; only the
    // owner may connect. Empty on success, else the reason.
    std::string listen(const std::string& path);

private:
    void acceptWaiting();
    void dropNewest();

    std::function<void(int)> onConnection_;
    std::string path_;
    int listening_ = -1;
    int spare_ = -1;   // kept free so that the connection that found none can still be taken and closed
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> rest_;
};

} // namespace platform
