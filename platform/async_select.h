#pragma once
// WSAAsyncSelect's watchers: one per socket, turning readiness seen by
// QSocketNotifier into Winsock's event messages with Winsock's re-enabling
// rules. Main thread only.

#include "platform/winsock.h"

namespace platform::ws::detail {

// Starts (or replaces) the watch of `s`; mask 0 stops it.
void watchSocket(SOCKET s, HWND window, unsigned int msg, long mask);
void stopWatching(SOCKET s);
void stopAllWatching();

// Gives the accepted socket the listener's watch, as Winsock does.
void inheritWatch(SOCKET listener, SOCKET accepted);

// The calls that re-enable an event, and state changes the watcher must see.
void receiveCalled(SOCKET s);
void acceptCalled(SOCKET listener);
void sendWouldBlock(SOCKET s);
void socketStateChanged(SOCKET s);

} // namespace platform::ws::detail
