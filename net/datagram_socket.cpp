#include "net/datagram_socket.h"

#include "net/notify_queue.h"
#include "net/sock_ctrl.h"
#include "net/sock_error.h"

TDatagramSocket::TDatagramSocket(TSockCtrl* owner) : TSocketBase(owner)
{
    SocketType = ws::SOCK_DGRAM_;
    RequireStarted();
    createHandle();
}

void TDatagramSocket::createHandle()
{
    Handle = CheckResult(WinsockAPI().socket(ws::AF_INET_, SocketType, 0), 0, ctxCreatingSocket);
}

void TDatagramSocket::checkDatagramSize(int count) const
{
    if (count > Winsock().startupData.iMaxUdpDg)
        RaiseSocketError(0, ctxDatagramTooLarge);
}

void TDatagramSocket::Connect(const std::string& hostName, TAsyncOptions options, std::uint16_t port,
                              const std::string& serviceName, std::string& ipText)
{
    tWinsockAPI& api = WinsockAPI();
    RequireStartedAndUnconnected();
    if (Handle == ws::INVALID_SOCKET)
        createHandle();
    Owner->NotifyInfo(this, siLookUp);
    ResolveAddress(hostName, port, serviceName, ipText);
    AfterResolve();
    api.WSAAsyncSelect(Handle, Owner->Window(), WM_SOCKETNOTIFY,
                       (options.bits() & 0x7) | ws::FD_CONNECT | ws::FD_CLOSE);
    Owner->NotifyInfo(this, siConnect);
    CheckOrClose(api.connect(Handle, &Address, sizeof Address), ws::WSAEWOULDBLOCK, ctxConnecting);
    State = ssConnected;
}

void TDatagramSocket::Listen(const std::string& hostName, int, std::uint16_t port, const std::string& serviceName,
                             std::string& ipText)
{
    tWinsockAPI& api = WinsockAPI();
    RequireStarted();
    if (Handle == ws::INVALID_SOCKET)
        createHandle();
    ResolveAddress(hostName, port, serviceName, ipText);
    AfterResolve();
    CheckOrClose(api.bind(Handle, &Address, sizeof Address), 0, ctxBinding);
    api.WSAAsyncSelect(Handle, Owner->Window(), WM_SOCKETNOTIFY, ws::FD_READ | ws::FD_WRITE);
}

int TDatagramSocket::Write(const char* buffer, int count)
{
    if (!IsConnected())
        RaiseSocketError(0, ctxSocketNotOpen);
    Owner->NotifyInfo(this, siSend);
    if (Handle == ws::INVALID_SOCKET)
        return 0;
    checkDatagramSize(count);
    return CheckOrClose(WinsockAPI().send(Handle, buffer, count, 0), ws::WSAEWOULDBLOCK, ctxSending);
}

int TDatagramSocket::Read(char* buffer, int count)
{
    Owner->NotifyInfo(this, siRecv);
    if (Handle == ws::INVALID_SOCKET)
        RaiseSocketError(0, ctxSocketNotOpen);
    return CheckOrClose(WinsockAPI().recv(Handle, buffer, count, 0), ws::WSAEWOULDBLOCK, ctxReceiving);
}

int TDatagramSocket::SendToPort(const std::string& hostText, const char* buffer, int count)
{
    return sendTo(hostText, Owner->PortNumber(), Owner->ServiceName(), buffer, count);
}

// The port given is the one used: a reply must go to the port the request
// came from, whatever service the control itself is set to.
int TDatagramSocket::SendTo(const std::string& hostText, std::uint16_t port, const char* buffer, int count)
{
    return sendTo(hostText, port, std::string(), buffer, count);
}

int TDatagramSocket::sendTo(const std::string& hostText, std::uint16_t port, const std::string& serviceName,
                            const char* buffer, int count)
{
    Owner->NotifyInfo(this, siSend);
    checkDatagramSize(count);
    std::string hostName;
    std::string ipText;
    ClassifyAddress(hostText, hostName, ipText);
    ResolveAddress(hostName, port, serviceName, ipText);
    return CheckOrClose(WinsockAPI().sendto(Handle, buffer, count, 0, &Address, sizeof Address), ws::WSAEWOULDBLOCK,
                   ctxSending);
}

int TDatagramSocket::RecvFrom(char* buffer, int count, ws::SOCKADDR_IN* sender, int* senderLength)
{
    Owner->NotifyInfo(this, siRecv);
    return CheckOrClose(WinsockAPI().recvfrom(Handle, buffer, count, 0, sender, senderLength), ws::WSAEWOULDBLOCK,
                   ctxReceiving);
}

void TDatagramSocket::Close()
{
    if (!SocketsStarted() || Handle == ws::INVALID_SOCKET)
        return;
    if (IsConnected()) {
        State = ssClosing;
        DrainReceived();
    }
    WinsockAPI().closesocket(Handle);
    ForgetNotificationsOfHandle(Owner, static_cast<platform::WPARAM>(Handle));
    Owner->NotifyInfo(this, siClose);
    Handle = ws::INVALID_SOCKET;
    platform::PostMessage(Owner->Window(), WM_SOCKETCLOSED, 0, reinterpret_cast<platform::LPARAM>(this));
    createHandle();
}
