#include "net/client_socket.h"

#include "net/notify_queue.h"
#include "net/sock_error.h"

void TStreamSocket::SetSocketType(int type)
{
    if (type != ws::SOCK_STREAM_)
        RaiseSocketError(0, ctxInvalidStreamType);
    SocketType = type;
}

void TStreamSocket::Connect(const std::string& hostName, TAsyncOptions options, std::uint16_t port,
                            const std::string& serviceName, std::string& ipText)
{
    tWinsockAPI& api = WinsockAPI();
    if (!SocketsStarted())
        RaiseSocketError(ws::WSANOTINITIALISED, ctxNone);
    if (IsConnected())
        RaiseSocketError(ws::WSAEISCONN, ctxNone);
    Handle = CheckResult(api.socket(ws::AF_INET_, SocketType, 0), 0, ctxCreatingSocket);
    Owner->NotifyInfo(this, siLookUp);

    // The look-ups pump the event loop; a handler may start a newer Open meanwhile.
    ResolveAddress(hostName, port, serviceName, ipText);
    if (Owner->CurrentSocket() != this)
        return;   // superseded: this object is retired and closes its handle when freed
    AfterResolve();

    const long mask = (options.bits() & 0x7) | ws::FD_CONNECT | ws::FD_CLOSE;
    api.WSAAsyncSelect(Handle, Owner->Window(), WM_SOCKETNOTIFY, mask);

    Owner->ArmTimeOut();
    try {
        Owner->NotifyInfo(this, siConnect);
    } catch (...) {
        Owner->DisarmTimeOut();
        throw;
    }
    const int result = api.connect(Handle, &Address, sizeof Address);
    try {
        CheckResult(result, ws::WSAEWOULDBLOCK, ctxConnecting);
    } catch (const ESockError&) {
        const int error = LastError;
        if (Handle != ws::INVALID_SOCKET)
            Close();
        Owner->DisarmTimeOut();
        LastError = error;
        throw;
    }
}

void TStreamSocket::Listen(const std::string&, TAsyncOptions, std::uint16_t, const std::string&, std::string&)
{
    // Listening needs a server control; a client's stream socket only connects.
    RaiseSocketError(ws::WSAEOPNOTSUPP, ctxListening);
}

int TStreamSocket::Read(char* buffer, int count)
{
    Owner->NotifyInfo(this, siRecv);
    if (Handle == ws::INVALID_SOCKET || State != ssConnected)
        RaiseSocketError(0, ctxSocketNotOpen);
    const int result = WinsockAPI().recv(Handle, buffer, count, 0);
    if (result == ws::SOCKET_ERROR) {
        const int error = WinsockAPI().WSAGetLastError();
        LastError = error;
        if (error == ws::WSAEWOULDBLOCK)
            return 0;
        Close();
        RaiseSocketError(error, ctxReceiving);
    }
    LastError = 0;
    return result;
}

int TStreamSocket::Write(const char* buffer, int count)
{
    Owner->NotifyInfo(this, siSend);
    if (Handle == ws::INVALID_SOCKET || State != ssConnected)
        return 0;
    const int result = WinsockAPI().send(Handle, buffer, count, 0);
    if (result == ws::SOCKET_ERROR) {
        const int error = WinsockAPI().WSAGetLastError();
        LastError = error;
        if (error == ws::WSAEWOULDBLOCK)
            return 0;
        Close();
        RaiseSocketError(error, ctxSending);
    }
    LastError = 0;
    return result;
}

void TStreamSocket::Close()
{
    if (!SocketsStarted() || Handle == ws::INVALID_SOCKET)
        return;
    if (State == ssConnected) {
        State = ssClosing;
        // Waiting bytes are offered to OnRead before the close. A handler that
        // takes nothing would see the same bytes for ever, so the offer stops
        // once a round leaves the count where it was.
        if (Owner->OnRead) {
            std::uint16_t waiting = BytesAvailable();
            while (waiting > 0) {
                Owner->NotifyRead(this);
                if (Handle == ws::INVALID_SOCKET)
                    return;
                const std::uint16_t after = BytesAvailable();
                if (after >= waiting)
                    break;
                waiting = after;
            }
        }
    }
    WinsockAPI().closesocket(Handle);
    Owner->DisarmTimeOut();
    Owner->NotifyInfo(this, siClose);
    Handle = ws::INVALID_SOCKET;
    platform::PostMessage(Owner->Window(), WM_SOCKETCLOSED, 0, reinterpret_cast<platform::LPARAM>(this));
}
