#pragma once
// Window messages on the Qt event loop: a "window" is a QObject with a message
// procedure; posting queues a message event, sending calls the procedure.
// Handles are small integers looked up in a registry so that worker threads can
// post to a window that may already be gone: the post is then simply dropped.

#include <QEventLoop>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HWND = std::uint32_t;   // 0 = no window
constexpr HWND kNoWindow = 0;

struct Message {
    unsigned int msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
};

// The message procedure of a window.
using WindowProcedure = std::function<void(Message&)>;

// A hidden window: lives on the thread that created it (the main thread) and
// runs its procedure for each message posted or sent to it.
class MessageWindow : public QObject {
public:
    explicit MessageWindow(WindowProcedure procedure, QObject* parent = nullptr);
    ~MessageWindow() override;
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND handle() const { return handle_; }
    LRESULT dispatch(Message& message);

protected:
    bool event(QEvent* event) override;

private:
    WindowProcedure procedure_;
    HWND handle_;
};

// The window of a handle, or nullptr. Main thread only.
MessageWindow* windowFromHandle(HWND window);

// Thread-safe: queues the message for the window's procedure; false when the
// window does not exist (any more).
bool PostMessage(HWND window, unsigned int msg, WPARAM wParam, LPARAM lParam);
// A flag kept by whoever raised a message: once it reads false (the socket the
// message names was closed or watched anew), the message is dropped undelivered
// even if it was already queued. Main thread only.
using DeliveryToken = std::shared_ptr<const bool>;
bool PostMessage(HWND window, unsigned int msg, WPARAM wParam, LPARAM lParam, DeliveryToken stillValid);
// The message a posted event carries, or nullptr for any other event (for
// event filters that watch a window's traffic).
const Message* PostedMessage(const QEvent* event);
// Main thread: runs the procedure now and returns its result (0 without a window).
LRESULT SendMessage(HWND window, unsigned int msg, WPARAM wParam, LPARAM lParam);
// The default procedure: handles nothing, result 0.
LRESULT DefWindowProc(HWND window, const Message& message);

// Process every waiting message once (the framework's "process messages").
void ProcessMessages();
// Sleep until at least one event arrives, then process what is waiting.
void WaitMessage();
// True once the application has begun to quit: a nested wait saw its event
// loops told to exit, or the main loop has ended.
bool ApplicationTerminating();
// A later event loop runs in the same process (tests run several in turn).
void ForgetApplicationTerminating();

// A wait nested in a handler (a look-up): sleeps in an event loop of its own
// until an event calls Finish(), or until the application quits. Quitting
// ends every running event loop of the thread, and one started afterwards
// returns at once, so the wait unwinds although the main loop cannot return
// before it does.
class NestedWait {
public:
    // True when finished; false when the application quits (from then on
    // ApplicationTerminating() is true).
    bool Run();
    void Finish();

private:
    QEventLoop loop_;
};

// Packs an event word and an error word the way socket notifications carry them.
constexpr LPARAM MakeSelectLParam(unsigned int low, unsigned int high)
{
    return static_cast<LPARAM>((static_cast<std::uint32_t>(high & 0xFFFFu) << 16) | (low & 0xFFFFu));
}
constexpr unsigned int LowWord(LPARAM value) { return static_cast<std::uint32_t>(value) & 0xFFFFu; }
constexpr unsigned int HighWord(LPARAM value) { return (static_cast<std::uint32_t>(value) >> 16) & 0xFFFFu; }

} // namespace platform
