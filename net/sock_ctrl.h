#pragma once
// The control under every socket component: it owns one socket object and a
// hidden notification window, performs the look-ups (waiting with the message
// loop pumped) and counts down its time-out on the shared one-second timer.

#include "net/socket_base.h"

#include <memory>
#include <string>
#include <vector>

namespace platform {
class MessageWindow;
}

class TSockCtrl {
public:
    TSockCtrl();
    virtual ~TSockCtrl();
    TSockCtrl(const TSockCtrl&) = delete;
    TSockCtrl& operator=(const TSockCtrl&) = delete;

    TSockInfoEvent OnInfo;
    TSocketEvent OnDisconnect;
    TSocketEvent OnRead;
    TSocketEvent OnWrite;
    TSocketEvent OnTimeOut;
    TSocketAsyncEvent OnAsyncComplete;

    // The socket object; made from the socket class when there is none.
    TSocketBase* Socket();
    TSocketBase* CurrentSocket() const { return socket_; }
    TSocketClass SocketClass() const { return socketClass_; }
    void SetSocketClass(TSocketClass socketClass) { socketClass_ = socketClass; }

    std::uint32_t LookupHost(const std::string& name);
    std::uint16_t LookupService(const std::string& name);
    std::string LookupPort(std::uint16_t port);

    // Ends the look-ups under way as if timed out (their socket was closed).
    void EndWaits();
    void ArmTimeOut();
    void DisarmTimeOut();
    void TimerTick();
    bool Armed() const { return armed_; }
    int SecondsLeft() const { return secondsLeft_; }

    ws::HANDLE CheckRequest(ws::HANDLE handle, int context);

    virtual void SocketClosed(TSocketBase* socket);
    virtual void SocketNotify(platform::Message& message) = 0;
    virtual void AsyncNotify(platform::Message& message);
    virtual int WaitForAsync(ws::HANDLE awaited);
    virtual void NotifyDisconnect(TSocketBase* socket);
    virtual void NotifyInfo(TSocketBase* socket, TSockInfo code);
    virtual void NotifyRead(TSocketBase* socket);
    virtual void NotifyWrite(TSocketBase* socket);
    virtual void NotifyTimeOut(TSocketBase* socket);

    // Properties. Setting Address classifies it as a dotted address or a host
    // name; setting Port looks up the service name or port once the socket
    // library is started; Protocol names the protocol of those look-ups.
    const std::string& Address() const { return address_; }
    void SetAddress(const std::string& address);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& port);
    const std::string& Protocol() const { return protocol_; }
    void SetProtocol(const std::string& protocol);
    int TimeOut() const { return timeOut_; }
    void SetTimeOut(int seconds) { timeOut_ = seconds < 0 ? 0 : seconds; }

    // What the setters derived.
    const std::string& HostName() const { return hostName_; }
    const std::string& ServiceName() const { return serviceName_; }
    std::uint16_t PortNumber() const { return portNumber_; }
    int ProtocolNumber() const { return protocolNumber_; }
    std::string IPAddress() const { return ipText_; }

    platform::HWND Window() const;
    const std::string& ProtocolName() const { return protocolName_; }
    int TimeOutSeconds() const { return timeOut_; }

    // Pending requests reported through OnAsyncComplete (none are made by the
    // components themselves; callers add their own).
    void AddAsyncRequest(tAsyncInfo* request);

protected:
    void WndProc(platform::Message& message);
    // Makes `socket` the current object; the previous one is freed (or
    // retired until its running operation ends).
    void ReplaceSocket(TSocketBase* socket);

    // Fields the client and server components share.
    std::string hostName_;
    std::string ipText_ = "0.0.0.0";
    std::string serviceName_;
    std::uint16_t portNumber_ = 0;
    std::string address_;
    std::string port_;
    std::string protocol_ = "tcp";
    int protocolNumber_ = 6;
    std::string protocolName_ = "tcp";
    int timeOut_ = 0;
    bool abort_ = false;

private:
    struct CompletionRecord {
        ws::HANDLE handle = 0;
        std::uint16_t error = 0;
        std::uint16_t length = 0;
    };
    struct PendingWait;
    void drainOne();
    void storeCompletion(const platform::Message& message);

    std::unique_ptr<platform::MessageWindow> window_;
    TSocketClass socketClass_ = nullptr;
    TSocketBase* socket_ = nullptr;
    std::unique_ptr<std::vector<tAsyncInfo*>> requests_;
    CompletionRecord completion_;
    std::vector<PendingWait*> waits_;   // innermost last
    unsigned long abortCount_ = 0;      // times the time-out expired; ends the waits under way

    // Links in the list of armed controls, newest first.
    TSockCtrl* previous_ = nullptr;
    TSockCtrl* next_ = nullptr;
    int secondsLeft_ = 0;
    bool armed_ = false;

    friend class ArmedControls;
};

// Splits an address text into a host name or a dotted address, as the
// Address property does (the other one is emptied).
void ClassifyAddress(const std::string& text, std::string& hostName, std::string& ipText);

// How many controls are armed (for tests and diagnostics).
int ArmedCount();
// False once the control has been destroyed.
bool ControlAlive(const TSockCtrl* control);
