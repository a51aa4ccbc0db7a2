#include "platform/async_select.h"

#include "platform/winsock_internal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <map>
#include <memory>
#include <poll.h>
#include <sys/socket.h>

namespace platform::ws::detail {
namespace {

// Watches one socket. An event is "armed" until it has been posted and
// re-armed by the call Winsock names for it (recv, accept, a blocked send).
class SelectWatcher {
public:
    SelectWatcher(SOCKET s, HWND window, unsigned int msg, long mask)
        : socket_(s), window_(window), msg_(msg), mask_(static_cast<unsigned int>(mask)),
          reader_(s, QSocketNotifier::Read), writer_(s, QSocketNotifier::Write)
    {
        reader_.setEnabled(false);
        writer_.setEnabled(false);
        QObject::connect(&reader_, &QSocketNotifier::activated, [this] { onReadable(); });
        QObject::connect(&writer_, &QSocketNotifier::activated, [this] { onWritable(); });
        update();
    }
    // Messages already posted for this watch are dropped once it ends: after
    // closesocket (or a new WSAAsyncSelect) nothing of the old watch arrives,
    // even when the descriptor's number is soon given to a new socket.
    ~SelectWatcher() { *live_ = false; }
    SelectWatcher(const SelectWatcher&) = delete;
    SelectWatcher& operator=(const SelectWatcher&) = delete;

    HWND window() const { return window_; }
    unsigned int msg() const { return msg_; }
    long mask() const { return static_cast<long>(mask_); }

    void rearmRead() { readArmed_ = true; update(); }
    void rearmAccept() { acceptArmed_ = true; update(); }
    void rearmWrite() { writeArmed_ = true; update(); }

    // Enables exactly the notifiers whose readiness could lead to a message now.
    void update()
    {
        bool wantRead = false;
        bool wantWrite = false;
        const SocketEntry* entry = findSocket(socket_);
        if (entry && !entry->failed) {
            if (entry->listening) {
                wantRead = acceptArmed_ && wants(FD_ACCEPT);
            } else if (entry->connecting) {
                wantWrite = true;
            } else if (entry->type == SOCK_DGRAM_) {
                wantRead = readArmed_ && wants(FD_READ);
                wantWrite = writeArmed_ && wants(FD_WRITE);
            } else if (entry->connected) {
                // Reading also watches for the close, which waits behind any data.
                wantRead = readArmed_ && !entry->closeReported && (wants(FD_READ) || wants(FD_CLOSE));
                wantWrite = writeArmed_ && wants(FD_WRITE);
            }
        }
        reader_.setEnabled(wantRead);
        writer_.setEnabled(wantWrite);
    }

private:
    bool wants(unsigned int event) const { return (mask_ & event) != 0; }

    void post(unsigned int event, int error)
    {
        if (wants(event))
            platform::PostMessage(window_, msg_, static_cast<WPARAM>(socket_), MakeSelectLParam(event, error), live_);
    }

    void onReadable()
    {
        SocketEntry* entry = findSocket(socket_);
        if (!entry)
            return update();
        if (entry->listening) {
            if (acceptArmed_) {
                acceptArmed_ = false;
                post(FD_ACCEPT, 0);
            }
        } else if (entry->type == SOCK_DGRAM_) {
            // One message per datagram: recvfrom takes it and re-arms.
            if (readArmed_)
                post(FD_READ, 0);
            readArmed_ = false;
        } else {
            onStreamReadable(*entry);
        }
        update();
    }

    void onStreamReadable(SocketEntry& entry)
    {
        char byte = 0;
        const ssize_t peeked = ::recv(socket_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peeked > 0) {
            // Data first; the close (if any) is seen after recv has taken it.
            if (readArmed_)
                post(FD_READ, 0);
            readArmed_ = false;
        } else if (peeked == 0) {
            entry.closeReported = true;
            post(FD_CLOSE, 0);
        } else if (errno != EAGAIN && errno != EINTR) {
            const int error = ErrorFromErrno(errno);
            entry.closeReported = true;
            entry.failed = true;
            post(FD_CLOSE, error);
        }
    }

    void onWritable()
    {
        SocketEntry* entry = findSocket(socket_);
        if (!entry)
            return update();
        if (entry->connecting) {
            finishConnect(*entry);
        } else if (writeArmed_) {
            writeArmed_ = false;
            post(FD_WRITE, 0);
        }
        update();
    }

    void finishConnect(SocketEntry& entry)
    {
        pollfd ready{socket_, POLLOUT, 0};
        if (::poll(&ready, 1, 0) <= 0)
            return;   // not finished after all
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
            error = errno;
        entry.connecting = false;
        if (error != 0) {
            entry.failed = true;
            post(FD_CONNECT, ErrorFromErrno(error));
            return;
        }
        entry.connected = true;
        post(FD_CONNECT, 0);
        if (writeArmed_) {
            writeArmed_ = false;
            post(FD_WRITE, 0);
        }
    }

    SOCKET socket_;
    HWND window_;
    unsigned int msg_;
    unsigned int mask_;
    bool readArmed_ = true;
    bool writeArmed_ = true;
    bool acceptArmed_ = true;
    std::shared_ptr<bool> live_ = std::make_shared<bool>(true);
    QSocketNotifier reader_;
    QSocketNotifier writer_;
};

std::map<SOCKET, std::unique_ptr<SelectWatcher>>& watchers()
{
    static std::map<SOCKET, std::unique_ptr<SelectWatcher>> table;
    return table;
}

SelectWatcher* findWatcher(SOCKET s)
{
    auto found = watchers().find(s);
    return found == watchers().end() ? nullptr : found->second.get();
}

} // namespace

void watchSocket(SOCKET s, HWND window, unsigned int msg, long mask)
{
    stopWatching(s);
    if (mask != 0)
        watchers().emplace(s, std::make_unique<SelectWatcher>(s, window, msg, mask));
}

void stopWatching(SOCKET s)
{
    // Destroying the notifiers here means no event of `s` is posted after this.
    watchers().erase(s);
}

void stopAllWatching()
{
    watchers().clear();
}

void inheritWatch(SOCKET listener, SOCKET accepted)
{
    if (SelectWatcher* watcher = findWatcher(listener))
        watchSocket(accepted, watcher->window(), watcher->msg(), watcher->mask());
}

void receiveCalled(SOCKET s)
{
    if (SelectWatcher* watcher = findWatcher(s))
        watcher->rearmRead();
}

void acceptCalled(SOCKET listener)
{
    if (SelectWatcher* watcher = findWatcher(listener))
        watcher->rearmAccept();
}

void sendWouldBlock(SOCKET s)
{
    if (SelectWatcher* watcher = findWatcher(s))
        watcher->rearmWrite();
}

void socketStateChanged(SOCKET s)
{
    if (SelectWatcher* watcher = findWatcher(s))
        watcher->update();
}

} // namespace platform::ws::detail
