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
    RequireStartedAndUnconnected();
    Handle = CheckResult(api.socket(ws::AF_INET_, SocketType, 0), 0, ctxCreatingSocket);
    Owner->NotifyInfo(this, siLookUp);

    // The look-ups pump the event loop; a handler may start a newer Open meanwhile.
    ResolveAddress(hostName, port, serviceName, ipText);
    if (Owner->CurrentSocket() != this)
        return;   // superseded: this object is retired and closes its handle when freed
    // Closed meanwhile (a Stop or a time-out during the look-up): the sequence
    // ends here, before it reports, arms or connects anything.
    if (Handle == ws::INVALID_SOCKET)
        RaiseSocketError(0, ctxSocketNotOpen);
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

void TStreamSocket::Listen(const std::string& hostName, int backlog, std::uint16_t port,
                           const std::string& serviceName, std::string& ipText)
{
    tWinsockAPI& api = WinsockAPI();
    RequireStarted();
    // Listening again replaces the socket; the old one must not stay bound.
    if (Handle != ws::INVALID_SOCKET) {
        api.closesocket(Handle);
        Handle = ws::INVALID_SOCKET;
    }
    Handle = CheckResult(api.socket(ws::AF_INET_, ws::SOCK_STREAM_, 0), 0, ctxCreatingSocket);
    ResolveAddress(hostName, port, serviceName, ipText);
    AfterResolve();
    try {
        CheckResult(api.bind(Handle, &Address, sizeof Address), 0, ctxBinding);
        api.WSAAsyncSelect(Handle, Owner->Window(), WM_SOCKETNOTIFY, ws::FD_ACCEPT | ws::FD_CLOSE);
        CheckResult(api.listen(Handle, backlog), 0, ctxListening);
    } catch (const ESockError&) {
        const int error = LastError;
        Close();
        LastError = error;
        throw;
    }
    Owner->NotifyInfo(this, siListen);
}

int TStreamSocket::Read(char* buffer, int count)
{
    Owner->NotifyInfo(this, siRecv);
    if (Handle == ws::INVALID_SOCKET || State != ssConnected)
        RaiseSocketError(0, ctxSocketNotOpen);
    return CheckOrClose(WinsockAPI().recv(Handle, buffer, count, 0), ws::WSAEWOULDBLOCK, ctxReceiving);
}

int TStreamSocket::Write(const char* buffer, int count)
{
    Owner->NotifyInfo(this, siSend);
    if (Handle == ws::INVALID_SOCKET || State != ssConnected)
        return 0;
    return CheckOrClose(WinsockAPI().send(Handle, buffer, count, 0), ws::WSAEWOULDBLOCK, ctxSending);
}

void TStreamSocket::Close()
{
    if (!SocketsStarted() || Handle == ws::INVALID_SOCKET)
        return;
    if (State == ssConnected) {
        State = ssClosing;
        DrainReceived();
        if (Handle == ws::INVALID_SOCKET)
            return;   // a handler closed it meanwhile
    }
    WinsockAPI().closesocket(Handle);
    ForgetNotificationsOfHandle(Owner, static_cast<platform::WPARAM>(Handle));
    // Closed while its own Open still resolves (Stop): that wait must not
    // outlive the check, nor go on to connect.
    if (Owner->CurrentSocket() == this)
        Owner->EndWaits();
    Owner->DisarmTimeOut();
    Owner->NotifyInfo(this, siClose);
    Handle = ws::INVALID_SOCKET;
    platform::PostMessage(Owner->Window(), WM_SOCKETCLOSED, 0, reinterpret_cast<platform::LPARAM>(this));
}
