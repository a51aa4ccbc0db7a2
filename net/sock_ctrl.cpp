#include "net/sock_ctrl.h"

#include "net/notify_queue.h"
#include "net/sock_error.h"

#include "platform/messages.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace {

// Each look-up gets one heap buffer of this size for the platform's result.
constexpr int kLookupBufferSize = 1024;

std::unordered_set<const TSockCtrl*>& liveControls()
{
    static std::unordered_set<const TSockCtrl*> controls;
    return controls;
}

} // namespace

// One wait of WaitForAsync: the completion it waits for, kept per wait so a
// wait nested inside another (a handler starting a new look-up while an older
// one is pending) can never take the other's completion.
struct TSockCtrl::PendingWait {
    ws::HANDLE awaited = 0;
    bool completed = false;
    std::uint16_t error = 0;
    unsigned long abortCountAtStart = 0;
    platform::NestedWait sleep;   // ended by the completion, the time-out or the program's end
};

TSockCtrl::TSockCtrl()
{
    window_ = std::make_unique<platform::MessageWindow>([this](platform::Message& message) { WndProc(message); });
    StartupSockets();
    ++SockCtrlCount();
    liveControls().insert(this);
}

bool ControlAlive(const TSockCtrl* control)
{
    return liveControls().count(control) != 0;
}

TSockCtrl::~TSockCtrl()
{
    liveControls().erase(this);
    DisarmTimeOut();
    // Nodes queued for this control must never reach it once it is gone.
    ForgetNotificationsFor(this);
    ReleaseSocketObject(socket_);
    socket_ = nullptr;
    window_.reset();
    if (--SockCtrlCount() <= 0)
        ShutdownSockets();
}

platform::HWND TSockCtrl::Window() const
{
    return window_ ? window_->handle() : platform::kNoWindow;
}

TSocketBase* TSockCtrl::Socket()
{
    if (!socket_ && socketClass_)
        socket_ = socketClass_(this);
    return socket_;
}

void TSockCtrl::ReplaceSocket(TSocketBase* socket)
{
    TSocketBase* previous = socket_;
    socket_ = socket;
    ReleaseSocketObject(previous);
}

void TSockCtrl::AddAsyncRequest(tAsyncInfo* request)
{
    if (!requests_)
        requests_ = std::make_unique<std::vector<tAsyncInfo*>>();
    requests_->push_back(request);
}

ws::HANDLE TSockCtrl::CheckRequest(ws::HANDLE handle, int context)
{
    if (handle == 0)
        RaiseSocketError(WinsockAPI().WSAGetLastError(), context);
    return handle;
}

void TSockCtrl::WndProc(platform::Message& message)
{
    const bool terminating = platform::ApplicationTerminating();
    if (!terminating || message.msg == WM_SOCKETCLOSED) {
        try {
            switch (message.msg) {
            case WM_SOCKETNOTIFY:
                if (WaitDepth() != 0 || !NotifyQueueEmpty())
                    DeferNotification(message, this);
                else
                    SocketNotify(message);
                break;
            case WM_SOCKETCLOSED:
                SocketClosed(reinterpret_cast<TSocketBase*>(message.lParam));
                break;
            case WM_ASYNCREQUEST:
                AsyncNotify(message);
                break;
            case WM_ASYNCWAIT:
                storeCompletion(message);
                break;
            default:
                break;
            }
        } catch (const std::exception& error) {
            platform::ShowException(error);
        }
        if (!terminating)
            drainOne();
    }
    message.result = platform::DefWindowProc(Window(), message);
}

// Delivers the oldest deferred notification, and keeps the chain going with
// one WM_DRAINQUEUE per remaining node. Exceptions leave to the event loop's
// report, as for any other handler; the rest of the queue stays for later.
void TSockCtrl::drainOne()
{
    if (WaitDepth() != 0 || NotifyQueueEmpty())
        return;
    platform::Message deferred;
    TSockCtrl* target = nullptr;
    TakeDeferredNotification(deferred, target);
    // Taken now: the handler may destroy this control.
    struct PostNextOnExit {
        ~PostNextOnExit()
        {
            if (!NotifyQueueEmpty())
                platform::PostMessage(window, WM_DRAINQUEUE, 0, 0);
        }
        platform::HWND window;
    } postNext{Window()};
    if (target)
        target->SocketNotify(deferred);
}

void TSockCtrl::storeCompletion(const platform::Message& message)
{
    completion_.handle = static_cast<ws::HANDLE>(message.wParam);
    completion_.error = static_cast<std::uint16_t>(platform::HighWord(message.lParam));
    completion_.length = static_cast<std::uint16_t>(platform::LowWord(message.lParam));
    for (PendingWait* wait : waits_) {
        if (wait->awaited == completion_.handle) {
            wait->completed = true;
            wait->error = completion_.error;
            wait->sleep.Finish();
        }
    }
}

void TSockCtrl::SocketClosed(TSocketBase*)
{
    ForgetNotificationsFor(this);
}

void TSockCtrl::AsyncNotify(platform::Message& message)
{
    if (!requests_)
        return;
    const auto handle = static_cast<ws::HANDLE>(message.wParam);
    auto found = std::find_if(requests_->begin(), requests_->end(),
                              [handle](const tAsyncInfo* request) { return request->handle == handle; });
    if (found == requests_->end())
        return;
    tAsyncInfo* request = *found;
    DisarmTimeOut();
    request->error = static_cast<std::uint16_t>(platform::HighWord(message.lParam));
    if (OnAsyncComplete)
        OnAsyncComplete(this, request);
    // The handler may have changed the list; look the request up again.
    if (!requests_)
        return;
    requests_->erase(std::remove(requests_->begin(), requests_->end(), request), requests_->end());
    if (requests_->empty())
        requests_.reset();
}

int TSockCtrl::WaitForAsync(ws::HANDLE awaited)
{
    PendingWait wait;
    wait.awaited = awaited;
    wait.abortCountAtStart = abortCount_;
    waits_.push_back(&wait);
    ++WaitDepth();
    completion_ = {};
    // Sleeps in the event loop until the completion or the time-out arrives,
    // so timers and user commands keep running meanwhile. When the program
    // quits meanwhile the wait ends at once: nothing may keep it alive.
    bool interrupted = false;
    while (!wait.completed && abortCount_ == wait.abortCountAtStart) {
        if (!wait.sleep.Run()) {
            interrupted = true;
            break;
        }
    }
    waits_.erase(std::find(waits_.begin(), waits_.end(), &wait));
    if (--WaitDepth() <= 0) {
        WaitDepth() = 0;
        platform::PostMessage(Window(), WM_DRAINQUEUE, 0, 0);
    }
    if (!wait.completed) {
        wait.error = interrupted ? ws::WSAEINTR : ws::WSAETIMEDOUT;
        WinsockAPI().WSACancelAsyncRequest(awaited);
    }
    return wait.error;
}

void TSockCtrl::EndWaits()
{
    ++abortCount_;
    for (PendingWait* wait : waits_)
        wait->sleep.Finish();
}

std::uint32_t TSockCtrl::LookupHost(const std::string& name)
{
    std::vector<char> buffer(kLookupBufferSize);
    ArmTimeOut();
    try {
        const ws::HANDLE request = CheckRequest(
            WinsockAPI().WSAAsyncGetHostByName(Window(), WM_ASYNCWAIT, name.c_str(), buffer.data(), kLookupBufferSize),
            ctxGetHostByName);
        const int error = WaitForAsync(request);
        if (error != 0)
            RaiseSocketError(error, ctxFindingAddress);
        ws::HOSTENT host;
        std::memcpy(&host, buffer.data(), sizeof host);
        std::uint32_t address = 0;
        std::memcpy(&address, host.h_addr_list[0], sizeof address);
        DisarmTimeOut();
        return address;
    } catch (...) {
        DisarmTimeOut();
        throw;
    }
}

std::uint16_t TSockCtrl::LookupService(const std::string& name)
{
    std::uint16_t port = 0;
    std::vector<char> buffer(kLookupBufferSize);
    ArmTimeOut();
    try {
        const ws::HANDLE request = CheckRequest(
            WinsockAPI().WSAAsyncGetServByName(Window(), WM_ASYNCWAIT, name.c_str(), protocolName_.c_str(),
                                               buffer.data(), kLookupBufferSize),
            ctxGetServByName);
        if (WaitForAsync(request) == 0) {
            ws::SERVENT service;
            std::memcpy(&service, buffer.data(), sizeof service);
            port = WinsockAPI().ntohs(static_cast<std::uint16_t>(service.s_port));
        }
    } catch (...) {
        DisarmTimeOut();
        throw;
    }
    DisarmTimeOut();
    return port;
}

std::string TSockCtrl::LookupPort(std::uint16_t port)
{
    std::string name;
    std::vector<char> buffer(kLookupBufferSize);
    ArmTimeOut();
    try {
        const ws::HANDLE request = CheckRequest(
            WinsockAPI().WSAAsyncGetServByPort(Window(), WM_ASYNCWAIT, WinsockAPI().htons(port),
                                               protocolName_.c_str(), buffer.data(), kLookupBufferSize),
            ctxGetServByPort);
        if (WaitForAsync(request) == 0) {
            ws::SERVENT service;
            std::memcpy(&service, buffer.data(), sizeof service);
            if (service.s_name)
                name = service.s_name;
        }
    } catch (...) {
        DisarmTimeOut();
        throw;
    }
    DisarmTimeOut();
    return name;
}

void TSockCtrl::NotifyDisconnect(TSocketBase* socket)
{
    SocketInUse inUse(socket);
    socket->DoDisconnect();
}

void TSockCtrl::NotifyInfo(TSocketBase* socket, TSockInfo code)
{
    SocketInUse inUse(socket);
    socket->DoInfo(code);
}

void TSockCtrl::NotifyRead(TSocketBase* socket)
{
    SocketInUse inUse(socket);
    socket->DoRead();
}

void TSockCtrl::NotifyWrite(TSocketBase* socket)
{
    SocketInUse inUse(socket);
    socket->DoWrite();
}

void TSockCtrl::NotifyTimeOut(TSocketBase* socket)
{
    EndWaits();
    abort_ = true;
    SocketInUse inUse(socket);
    socket->DoTimeOut();
}
