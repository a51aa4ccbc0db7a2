#pragma once
// A UDP socket object. It always holds a platform socket: one from its
// creation and a fresh one right after each Close.

#include "net/socket_base.h"

class TDatagramSocket : public TSocketBase {
public:
    explicit TDatagramSocket(TSockCtrl* owner);

    void SetSocketType(int type) override { SocketType = type; }
    // Fixes the default peer; connected at once, no time-out.
    void Connect(const std::string& hostName, TAsyncOptions options, std::uint16_t port,
                 const std::string& serviceName, std::string& ipText) override;
    // Binds to a local address and port for receiving; the backlog is unused.
    void Listen(const std::string& hostName, int backlog, std::uint16_t port, const std::string& serviceName,
                std::string& ipText) override;
    int Write(const char* buffer, int count) override;
    int Read(char* buffer, int count) override;
    void Close() override;

    // To the owner's port (or its service, when it has one).
    virtual int SendToPort(const std::string& hostText, const char* buffer, int count);
    virtual int SendTo(const std::string& hostText, std::uint16_t port, const char* buffer, int count);
    virtual int RecvFrom(char* buffer, int count, ws::SOCKADDR_IN* sender, int* senderLength);

private:
    void createHandle();
    void checkDatagramSize(int count) const;
    int sendTo(const std::string& hostText, std::uint16_t port, const std::string& serviceName,
               const char* buffer, int count);
};
