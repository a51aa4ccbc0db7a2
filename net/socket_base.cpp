#include "net/socket_base.h"

#include "net/client_socket.h"
#include "net/notify_queue.h"
#include "net/server_socket.h"
#include "net/sock_ctrl.h"
#include "net/sock_error.h"

TSocketBase::TSocketBase(TSockCtrl* owner) : Owner(owner) {}

TSocketBase::~TSocketBase()
{
    if (Handle != ws::INVALID_SOCKET && SocketsStarted()) {
        WinsockAPI().closesocket(Handle);
        ForgetNotificationsOfHandle(Owner, static_cast<platform::WPARAM>(Handle));
    }
}

void TSocketBase::DoRead()
{
    if (Owner->OnRead)
        Owner->OnRead(Owner, this);
}

void TSocketBase::DoWrite()
{
    if (Owner->OnWrite)
        Owner->OnWrite(Owner, this);
}

void TSocketBase::DoAccept()
{
    auto* server = dynamic_cast<TCustomServerSocket*>(Owner);
    if (server && server->OnAccept)
        server->OnAccept(Owner, this);
}

void TSocketBase::DoRefuse()
{
    auto* server = dynamic_cast<TCustomServerSocket*>(Owner);
    if (server && server->OnRefuse)
        server->OnRefuse(Owner, this);
}

void TSocketBase::DoConnect()
{
    auto* client = dynamic_cast<TCustomClientSocket*>(Owner);
    if (client && client->OnConnect)
        client->OnConnect(Owner, this);
}

void TSocketBase::DoDisconnect()
{
    if (Owner->OnDisconnect)
        Owner->OnDisconnect(Owner, this);
}

void TSocketBase::DoInfo(TSockInfo code)
{
    if (code == siListen)
        State = ssListening;
    else if (code == siClose)
        State = ssClosed;
    if (Owner->OnInfo)
        Owner->OnInfo(Owner, code, this);
}

void TSocketBase::DoTimeOut()
{
    if (Owner->OnTimeOut)
        Owner->OnTimeOut(Owner, this);
}

void TSocketBase::RequireStarted()
{
    if (!SocketsStarted())
        RaiseSocketError(ws::WSANOTINITIALISED, ctxNone);
}

void TSocketBase::RequireStartedAndUnconnected() const
{
    RequireStarted();
    if (IsConnected())
        RaiseSocketError(ws::WSAEISCONN, ctxNone);
}

int TSocketBase::CheckResult(int result, int tolerated, int context)
{
    if (result == ws::SOCKET_ERROR) {
        LastError = WinsockAPI().WSAGetLastError();
        if (LastError == tolerated)
            return 0;
        RaiseSocketError(LastError, context);
    }
    LastError = 0;
    return result;
}

int TSocketBase::CheckOrClose(int result, int tolerated, int context)
{
    try {
        return CheckResult(result, tolerated, context);
    } catch (const ESockError&) {
        const int error = LastError;
        Close();
        LastError = error;
        throw;
    }
}

std::uint16_t TSocketBase::BytesAvailable()
{
    std::uint32_t waiting = 0;
    CheckResult(WinsockAPI().ioctlsocket(Handle, ws::FIONREAD_, &waiting), 0, ctxBytesInBuffer);
    return static_cast<std::uint16_t>(waiting & 0xFFFFu);
}

// A handler that takes nothing would be offered the same bytes for ever, so
// the offer stops once a round leaves the count where it was.
void TSocketBase::DrainReceived()
{
    if (!Owner->OnRead || Handle == ws::INVALID_SOCKET)
        return;
    std::uint16_t waiting = BytesAvailable();
    while (waiting > 0) {
        Owner->NotifyRead(this);
        if (Handle == ws::INVALID_SOCKET)
            return;
        const std::uint16_t after = BytesAvailable();
        if (after >= waiting)
            return;
        waiting = after;
    }
}

void TSocketBase::ResolveAddress(const std::string& hostName, std::uint16_t port, const std::string& serviceName,
                                 std::string& ipText)
{
    if (!hostName.empty()) {
        Address.sin_addr = Owner->LookupHost(hostName);
        ipText = WinsockAPI().inet_ntoa(Address.sin_addr);
    } else if (ipText.empty()) {
        RaiseSocketError(0, ctxNoAddress);
    } else if (ipText != "0.0.0.0") {
        Address.sin_addr = WinsockAPI().inet_addr(ipText.c_str());
    } else {
        Address.sin_addr = 0;
    }
    const std::uint16_t hostPort = serviceName.empty() ? port : Owner->LookupService(serviceName);
    Address.sin_port = WinsockAPI().htons(hostPort);
}

SocketInUse::SocketInUse(TSocketBase* socket) : socket_(socket)
{
    if (socket_)
        ++socket_->useCount_;
}

SocketInUse::~SocketInUse()
{
    if (!socket_)
        return;
    if (--socket_->useCount_ == 0 && socket_->retired_)
        delete socket_;
}

void ReleaseSocketObject(TSocketBase* socket)
{
    if (!socket)
        return;
    if (socket->useCount_ > 0) {
        socket->retired_ = true;
        return;
    }
    delete socket;
}
