#pragma once
// The server control: listens with its socket object, accepts stream
// connections into a list (up to MaxConnections) and dispatches their
// notifications; with a datagram class its one socket object receives.

#include "net/sock_ctrl.h"

#include <vector>

using TSocketList = std::vector<TSocketBase*>;

class TCustomServerSocket : public TSockCtrl {
public:
    TCustomServerSocket();
    ~TCustomServerSocket() override;

    TSocketEvent OnAccept;
    TSocketEvent OnRefuse;
    // A failed accept (the listening object's LastError says why). Without
    // a handler it is dropped silently; with one, the owner can stop
    // accepting for a while when descriptors run out, instead of being
    // told again at once, for ever.
    TSocketEvent OnAcceptFailed;

    int MaxConnections() const { return maxConnections_; }
    void SetMaxConnections(int count) { maxConnections_ = count; }
    const TSocketList& Connections() const { return connections_; }
    TAsyncOptions ConnectionOptions() const { return connectionOptions_; }
    void SetConnectionOptions(TAsyncOptions options) { connectionOptions_ = options; }

    void SocketNotify(platform::Message& message) override;
    void SocketClosed(TSocketBase* socket) override;
    void NotifyDisconnect(TSocketBase* socket) override;
    virtual void NotifyAccept(TSocketBase* listening);

private:
    int maxConnections_ = 16;
    TSocketList connections_;
    TAsyncOptions connectionOptions_{csoRead, csoWrite};
};

// The published server: adds what it takes to start listening.
class TServerSocket : public TCustomServerSocket {
public:
    // Sets the socket class and listens on Address and Port: a stream class
    // with the given backlog, a datagram class by binding for receiving.
    void Listen(TSocketClass socketClass, int backlog = 5);
};
