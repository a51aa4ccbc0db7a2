#include "net/server_socket.h"

#include "net/client_socket.h"
#include "net/datagram_socket.h"
#include "net/notify_queue.h"
#include "net/sock_error.h"

#include <algorithm>

TCustomServerSocket::TCustomServerSocket() = default;

TCustomServerSocket::~TCustomServerSocket()
{
    for (TSocketBase* connection : connections_)
        ReleaseSocketObject(connection);
    connections_.clear();
}

void TCustomServerSocket::SocketNotify(platform::Message& message)
{
    const unsigned int event = platform::LowWord(message.lParam);
    const int error = static_cast<int>(platform::HighWord(message.lParam));
    if (event == ws::FD_ACCEPT) {
        if (TSocketBase* listening = CurrentSocket())
            NotifyAccept(listening);
        return;
    }
    TSocketBase* target = nullptr;
    TSocketBase* probe = Socket();
    const auto handle = static_cast<ws::SOCKET>(message.wParam);
    if (dynamic_cast<TDatagramSocket*>(probe)) {
        if (probe->Handle == ws::INVALID_SOCKET || probe->Handle != handle)
            return;   // raised for a handle the socket closed since
        target = probe;
    } else {
        auto found = std::find_if(connections_.begin(), connections_.end(),
                                  [handle](const TSocketBase* c) { return c->Handle == handle; });
        if (found == connections_.end()) {
            if (OnInfo)
                OnInfo(this, siUnknownSocket, nullptr);
            return;
        }
        target = *found;
    }
    SocketInUse inUse(target);
    target->LastError = error;
    switch (event) {
    case ws::FD_READ:
        NotifyRead(target);
        break;
    case ws::FD_WRITE:
        NotifyWrite(target);
        break;
    case ws::FD_CLOSE:
        NotifyDisconnect(target);
        break;
    default:
        break;
    }
}

void TCustomServerSocket::NotifyAccept(TSocketBase* listening)
{
    if (!SocketClass())
        return;
    TSocketBase* connection = SocketClass()(this);
    int length = sizeof connection->Address;
    connection->Handle = WinsockAPI().accept(listening->Handle, &connection->Address, &length);
    if (connection->Handle == ws::INVALID_SOCKET) {
        const int error = WinsockAPI().WSAGetLastError();
        delete connection;
        if (OnAcceptFailed) {
            listening->LastError = error;
            OnAcceptFailed(this, listening);
        }
        return;
    }
    connections_.push_back(connection);
    WinsockAPI().WSAAsyncSelect(connection->Handle, Window(), WM_SOCKETNOTIFY,
                                (connectionOptions_.bits() & 0x7) | ws::FD_CLOSE);
    connection->State = ssConnected;
    SocketInUse inUse(connection);
    if (maxConnections_ < static_cast<int>(connections_.size())) {
        NotifyInfo(connection, siRefuse);
        connection->DoRefuse();
        connection->Close();
    } else {
        NotifyInfo(connection, siAccept);
        connection->DoAccept();
    }
}

void TCustomServerSocket::NotifyDisconnect(TSocketBase* socket)
{
    if (!socket->IsConnected())
        return;
    DisarmTimeOut();
    SocketInUse inUse(socket);
    if (OnDisconnect)
        OnDisconnect(this, socket);
}

void TCustomServerSocket::SocketClosed(TSocketBase* socket)
{
    // A waiting connection is announced once and again only after an accept,
    // so a deferred accept notification must outlive the close of another
    // connection, or the server would never accept again.
    ForgetNotificationsFor(this, ws::FD_ACCEPT);
    if (socket == CurrentSocket())
        return;
    // Compared, never dereferenced: the object may be gone already.
    auto found = std::find(connections_.begin(), connections_.end(), socket);
    if (found == connections_.end())
        return;
    connections_.erase(found);
    ReleaseSocketObject(socket);
}

void TServerSocket::Listen(TSocketClass socketClass, int backlog)
{
    SetSocketClass(socketClass);
    TSocketBase* listening = Socket();
    SocketInUse inUse(listening);
    listening->Listen(hostName_, backlog, portNumber_, serviceName_, ipText_);
}
