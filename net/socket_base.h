#pragma once
// A socket object: one platform socket handle, forwarding what happens to it
// to the events of the control that owns it.

#include "net/socket_types.h"

#include <string>

class TSocketBase {
public:
    explicit TSocketBase(TSockCtrl* owner);
    // Closes a valid handle without firing events.
    virtual ~TSocketBase();
    TSocketBase(const TSocketBase&) = delete;
    TSocketBase& operator=(const TSocketBase&) = delete;

    virtual void DoRead();
    virtual void DoWrite();
    virtual void DoAccept();
    virtual void DoConnect();
    virtual void DoDisconnect();
    virtual void DoInfo(TSockInfo code);
    virtual void DoTimeOut();
    virtual void DoRefuse();
    virtual bool IsConnected() const { return State == ssConnected; }
    virtual void SetSocketType(int type) { SocketType = type; }
    virtual int Write(const char* buffer, int count) = 0;
    virtual int Read(char* buffer, int count) = 0;
    // Called after the address is resolved and before it is used.
    virtual void AfterResolve() {}
    virtual void Listen(const std::string& hostName, int backlog, std::uint16_t port,
                        const std::string& serviceName, std::string& ipText) = 0;
    virtual void Connect(const std::string& hostName, TAsyncOptions options, std::uint16_t port,
                         const std::string& serviceName, std::string& ipText) = 0;
    virtual void Close() = 0;

    // -1 → WSAGetLastError stored as LastError; 0 if it is the tolerated error,
    // else raised with the context. Otherwise LastError 0 and the result.
    // Raises "Successful WSASTARTUP not yet performed" unless the library runs.
    static void RequireStarted();
    // As RequireStarted, and "Socket is already connected" when connected.
    void RequireStartedAndUnconnected() const;
    int CheckResult(int result, int tolerated, int context);
    // The same, but a raised error first closes this object (reads and writes).
    int CheckOrClose(int result, int tolerated, int context);
    // Bytes waiting to be read (low 16 bits of the platform's count).
    std::uint16_t BytesAvailable();
    // Fires OnRead through the owner while bytes are waiting.
    void DrainReceived();
    // Resolves host and service into Address (connect steps 5 and 6).
    void ResolveAddress(const std::string& hostName, std::uint16_t port, const std::string& serviceName,
                        std::string& ipText);

    int LastError = 0;
    ws::SOCKET Handle = ws::INVALID_SOCKET;
    TSockCtrl* Owner;
    ws::SOCKADDR_IN Address;
    TSocketState State = ssClosed;
    int SocketType = ws::SOCK_STREAM_;

private:
    friend class SocketInUse;
    friend class TSockCtrl;
    friend void ReleaseSocketObject(TSocketBase* socket);
    int useCount_ = 0;     // operations running on this object right now
    bool retired_ = false; // replaced or freed while in use: deleted when the last use ends
};

// Keeps a socket object alive while an operation or event runs on it: an
// object freed by a handler in the middle (a new Open, say) is deleted only
// when the outermost use ends.
class SocketInUse {
public:
    explicit SocketInUse(TSocketBase* socket);
    ~SocketInUse();
    SocketInUse(const SocketInUse&) = delete;
    SocketInUse& operator=(const SocketInUse&) = delete;
    // True once the object was retired by its owner.
    bool retired() const { return socket_ && socket_->retired_; }

private:
    TSocketBase* socket_;
};

// Frees a socket object now, or when its last use ends.
void ReleaseSocketObject(TSocketBase* socket);
