#include "net/client_socket.h"

#include "net/notify_queue.h"
#include "net/sock_error.h"



TCustomClientSocket::TCustomClientSocket() = default;

bool TCustomClientSocket::IsOpen() const
{
    return CurrentSocket() && CurrentSocket()->IsConnected();
}

void TCustomClientSocket::ClearHandlers()
{
    OnInfo = nullptr;
    OnConnect = nullptr;
    OnRead = nullptr;
    OnWrite = nullptr;
    OnDisconnect = nullptr;
    OnTimeOut = nullptr;
    OnAsyncComplete = nullptr;
}

void TCustomClientSocket::Open(TSocketClass socketClass)
{
    if (IsOpen())
        RaiseSocketError(0, ctxAlreadyOpened);
    ReplaceSocket(nullptr);
    ReplaceSocket(socketClass(this));
    TSocketBase* socket = CurrentSocket();
    SocketInUse inUse(socket);
    socket->Connect(hostName_, options_, portNumber_, serviceName_, ipText_);
}

void TCustomClientSocket::Close()
{
    TSocketBase* socket = CurrentSocket();
    if (!socket || !socket->IsConnected())
        RaiseSocketError(0, ctxSocketNotOpen);
    DisarmTimeOut();
    SocketInUse inUse(socket);
    socket->Close();
}

void TCustomClientSocket::NotifyConnect(TSocketBase* socket)
{
    SocketInUse inUse(socket);
    socket->DoConnect();
}

// Applied only to the socket object whose open handle the message names. A
// notification raised before a Stop, a time-out or a new Open closed that
// handle would otherwise revive the closed object (marked connected with no
// handle, so that every later Open fails). A refused connection shows as
// OnConnect with a non-zero last error.
void TCustomClientSocket::SocketNotify(platform::Message& message)
{
    TSocketBase* socket = CurrentSocket();
    if (!socket || socket->Handle == ws::INVALID_SOCKET ||
        static_cast<platform::WPARAM>(socket->Handle) != message.wParam)
        return;
    SocketInUse inUse(socket);
    const unsigned int event = platform::LowWord(message.lParam);
    const int error = static_cast<int>(platform::HighWord(message.lParam));
    socket->LastError = error;
    switch (event) {
    case ws::FD_CONNECT:
        DisarmTimeOut();
        if (error == 0) {
            socket->State = ssConnected;
            NotifyInfo(socket, siConnected);
        }
        NotifyConnect(socket);
        break;
    case ws::FD_READ:
        NotifyRead(socket);
        break;
    case ws::FD_WRITE:
        NotifyWrite(socket);
        break;
    case ws::FD_CLOSE:
        if (socket->IsConnected())
            DisarmTimeOut();
        NotifyDisconnect(socket);
        break;
    default:
        break;
    }
}

