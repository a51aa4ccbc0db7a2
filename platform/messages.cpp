#include "platform/messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>

#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

// Qt event type that carries one posted message.
const QEvent::Type kMessageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent {
public:
    MessageEvent(const Message& message, DeliveryToken stillValid)
        : QEvent(kMessageEventType), message(message), stillValid(std::move(stillValid))
    {
    }
    Message message;
    DeliveryToken stillValid;   // null: always delivered
};

// Handles are never reused, so a stale handle can never reach a new window.
struct Registry {
    std::mutex mutex;
    std::unordered_map<HWND, MessageWindow*> windows;
    HWND lastHandle = 0;
};

Registry& registry()
{
    // Never destroyed: a detached worker thread may still post while the
    // process exits and static destructors run.
    static Registry* instance = new Registry;
    return *instance;
}

bool terminating = false;

} // namespace

MessageWindow::MessageWindow(WindowProcedure procedure, QObject* parent)
    : QObject(parent), procedure_(std::move(procedure))
{
    static bool hooked = false;
    if (!hooked && QCoreApplication::instance()) {
        hooked = true;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] { terminating = true; });
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    handle_ = ++r.lastHandle;
    r.windows.emplace(handle_, this);
}

MessageWindow::~MessageWindow()
{
    // Once unregistered no thread can post to this window any more; Qt drops
    // the events already queued for it when the object goes.
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.windows.erase(handle_);
}

LRESULT MessageWindow::dispatch(Message& message)
{
    if (procedure_)
        procedure_(message);
    return message.result;
}

bool MessageWindow::event(QEvent* event)
{
    if (event->type() != kMessageEventType)
        return QObject::event(event);
    const auto* posted = static_cast<MessageEvent*>(event);
    if (posted->stillValid && !*posted->stillValid)
        return true;   // raised for something that has gone since
    Message message = posted->message;
    dispatch(message);
    return true;
}

MessageWindow* windowFromHandle(HWND window)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto found = r.windows.find(window);
    return found == r.windows.end() ? nullptr : found->second;
}

bool PostMessage(HWND window, unsigned int msg, WPARAM wParam, LPARAM lParam)
{
    return PostMessage(window, msg, wParam, lParam, nullptr);
}

bool PostMessage(HWND window, unsigned int msg, WPARAM wParam, LPARAM lParam, DeliveryToken stillValid)
{
    Registry& r = registry();
    // Held while posting so that the window cannot be destroyed in between.
    std::lock_guard lock(r.mutex);
    auto found = r.windows.find(window);
    if (found == r.windows.end())
        return false;
    QCoreApplication::postEvent(found->second, new MessageEvent(Message{msg, wParam, lParam, 0}, std::move(stillValid)));
    return true;
}

const Message* PostedMessage(const QEvent* event)
{
    if (!event || event->type() != kMessageEventType)
        return nullptr;
    return &static_cast<const MessageEvent*>(event)->message;
}

LRESULT SendMessage(HWND window, unsigned int msg, WPARAM wParam, LPARAM lParam)
{
    MessageWindow* target = windowFromHandle(window);
    if (!target)
        return 0;
    Message message{msg, wParam, lParam, 0};
    return target->dispatch(message);
}

LRESULT DefWindowProc(HWND, const Message&)
{
    return 0;
}

void ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitMessage()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool ApplicationTerminating()
{
    return terminating || QCoreApplication::closingDown();
}

void ForgetApplicationTerminating()
{
    terminating = false;
}

namespace {
constexpr int kWaitFinished = 1;   // the exit code of Finish; a quit gives 0 or -1
} // namespace

bool NestedWait::Run()
{
    if (ApplicationTerminating())
        return false;
    if (loop_.exec(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents) == kWaitFinished)
        return true;
    terminating = true;
    return false;
}

void NestedWait::Finish()
{
    loop_.exit(kWaitFinished);
}

} // namespace platform
