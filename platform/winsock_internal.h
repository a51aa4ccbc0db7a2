#pragma once
// What the socket calls and the notification watchers share: the table of
// sockets this layer created and the start-up state. Main thread only.

#include "platform/winsock.h"

namespace platform::ws::detail {

struct SocketEntry {
    int type = SOCK_STREAM_;
    bool listening = false;
    bool connecting = false;      // a connect was started and has not been reported yet
    bool connected = false;
    bool closeReported = false;   // FD_CLOSE is posted once per socket
    bool failed = false;          // connect failed or the peer reset: no further events
};

// The entry of a socket this layer created, or nullptr.
SocketEntry* findSocket(SOCKET s);
bool socketsStarted();

// Records `error` for WSAGetLastError and returns SOCKET_ERROR.
inline int fail(int error)
{
    WSASetLastError(error);
    return SOCKET_ERROR;
}

} // namespace platform::ws::detail
