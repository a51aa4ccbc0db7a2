#include "net/notify_queue.h"

#include <deque>

namespace {

struct DeferredNotification {
    platform::Message message;
    TSockCtrl* target;
};

std::deque<DeferredNotification>& queue()
{
    static std::deque<DeferredNotification> nodes;
    return nodes;
}

int sockCtrlCount = 0;
int waitDepth = 0;

} // namespace

void DeferNotification(const platform::Message& message, TSockCtrl* target)
{
    queue().push_back({message, target});
}

bool NotifyQueueEmpty() { return queue().empty(); }
std::size_t NotifyQueueLength() { return queue().size(); }

bool TakeDeferredNotification(platform::Message& message, TSockCtrl*& target)
{
    if (queue().empty())
        return false;
    message = queue().front().message;
    target = queue().front().target;
    queue().pop_front();
    return true;
}

void ForgetNotificationsFor(const TSockCtrl* target)
{
    for (DeferredNotification& node : queue()) {
        if (node.target == target)
            node.target = nullptr;
    }
}

void ForgetNotificationsFor(const TSockCtrl* target, unsigned int keptEvent)
{
    for (DeferredNotification& node : queue()) {
        if (node.target == target && platform::LowWord(node.message.lParam) != keptEvent)
            node.target = nullptr;
    }
}

void ForgetNotificationsOfHandle(const TSockCtrl* target, platform::WPARAM handle)
{
    for (DeferredNotification& node : queue()) {
        if (node.target == target && node.message.wParam == handle)
            node.target = nullptr;
    }
}

void ClearDeferredNotifications()
{
    queue().clear();
    waitDepth = 0;
}

int& SockCtrlCount() { return sockCtrlCount; }
int& WaitDepth() { return waitDepth; }

void ResetSocketControlCounters()
{
    sockCtrlCount = 0;
    waitDepth = 0;
}
