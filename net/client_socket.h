#pragma once
// The event-driven TCP client: resolves a host and a service, opens a
// non-blocking stream socket, starts the connection and reports progress,
// data, the peer's close and the time-out as events.

#include "net/sock_ctrl.h"

#include <string>

class TCustomClientSocket : public TSockCtrl {
public:
    TCustomClientSocket();

    TSocketEvent OnConnect;
    // Forgets every handler: for an owner that goes while the socket may
    // still report as it closes.
    void ClearHandlers();

    // Creates a new socket object of the given class and starts connecting.
    void Open(TSocketClass socketClass);
    // Closes the connection; "Socket not open" when there is none.
    void Close();
    bool IsOpen() const;


    TAsyncOptions Options() const { return options_; }
    void SetOptions(TAsyncOptions options) { options_ = options; }

    void SocketNotify(platform::Message& message) override;
    virtual void NotifyConnect(TSocketBase* socket);

protected:
    TAsyncOptions options_{csoRead, csoWrite};
};

// The published client component: Address, Port, Protocol and TimeOut are
// the control's properties (see TSockCtrl).
class TClientSocket : public TCustomClientSocket {};

// The stream socket object a client opens.
class TStreamSocket : public TSocketBase {
public:
    explicit TStreamSocket(TSockCtrl* owner) : TSocketBase(owner) {}

    void SetSocketType(int type) override;
    int Write(const char* buffer, int count) override;
    int Read(char* buffer, int count) override;
    void Listen(const std::string& hostName, int backlog, std::uint16_t port, const std::string& serviceName,
                std::string& ipText) override;
    void Connect(const std::string& hostName, TAsyncOptions options, std::uint16_t port,
                 const std::string& serviceName, std::string& ipText) override;
    void Close() override;
};
