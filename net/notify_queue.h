#pragma once
// Socket notifications that arrive while a look-up waits are deferred here and
// delivered afterwards, one per processed message, in arrival order.

#include "platform/messages.h"

#include <cstddef>

class TSockCtrl;

// Message numbers of a socket control's notification window.
constexpr unsigned int WM_SOCKETNOTIFY = 2135;
constexpr unsigned int WM_SOCKETCLOSED = 2136;
constexpr unsigned int WM_ASYNCREQUEST = 2137;
constexpr unsigned int WM_ASYNCWAIT = 2138;
constexpr unsigned int WM_DRAINQUEUE = 2139;

void DeferNotification(const platform::Message& message, TSockCtrl* target);
bool NotifyQueueEmpty();
std::size_t NotifyQueueLength();
// Removes the oldest node; false when empty. The target is null when the
// control closed or went away after the node was queued.
bool TakeDeferredNotification(platform::Message& message, TSockCtrl*& target);
// The control closed or is going away: its queued nodes are dropped undelivered.
void ForgetNotificationsFor(const TSockCtrl* target);
// The same, sparing the nodes whose event code is `keptEvent`.
void ForgetNotificationsFor(const TSockCtrl* target, unsigned int keptEvent);
// A socket handle closed: its queued nodes are dropped undelivered at once, not
// only when WM_SOCKETCLOSED arrives, as a new socket may soon get its number.
void ForgetNotificationsOfHandle(const TSockCtrl* target, platform::WPARAM handle);
void ClearDeferredNotifications();

// Program-wide counters of the socket controls.
int& SockCtrlCount();
int& WaitDepth();
void ResetSocketControlCounters();
