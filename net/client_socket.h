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

    // Creates a new socket object of the given class and starts connecting.
    void Open(TSocketClass socketClass);
    // Closes the connection; "Socket not open" when there is none.
    void Close();
    bool IsOpen() const;
    std::string IPAddress() const { return ipText_; }

    TAsyncOptions Options() const { return options_; }
    void SetOptions(TAsyncOptions options) { options_ = options; }

    void SocketNotify(platform::Message& message) override;
    virtual void NotifyConnect(TSocketBase* socket);

protected:
    TAsyncOptions options_{csoRead, csoWrite};
};

// The published client component.
class TClientSocket : public TCustomClientSocket {
public:
    const std::string& Address() const { return address_; }
    void SetAddress(const std::string& address);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& port);
    const std::string& Protocol() const { return protocol_; }
    void SetProtocol(const std::string& protocol);
    int TimeOut() const { return timeOut_; }
    void SetTimeOut(int seconds) { timeOut_ = seconds < 0 ? 0 : seconds; }

    // What the setters derived (for tests and diagnostics).
    const std::string& HostName() const { return hostName_; }
    const std::string& ServiceName() const { return serviceName_; }
    std::uint16_t PortNumber() const { return portNumber_; }
    int ProtocolNumber() const { return protocolNumber_; }
};

// The stream socket object a client opens.
class TStreamSocket : public TSocketBase {
public:
    explicit TStreamSocket(TSockCtrl* owner) : TSocketBase(owner) {}

    void SetSocketType(int type) override;
    int Write(const char* buffer, int count) override;
    int Read(char* buffer, int count) override;
    void Listen(const std::string& hostName, TAsyncOptions options, std::uint16_t port,
                const std::string& serviceName, std::string& ipText) override;
    void Connect(const std::string& hostName, TAsyncOptions options, std::uint16_t port,
                 const std::string& serviceName, std::string& ipText) override;
    void Close() override;
};
