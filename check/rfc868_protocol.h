#pragma once
// The Time protocol (RFC 868): four big-endian bytes of seconds since 1900.
// Over TCP the server speaks first and the bytes may come in pieces; over UDP
// an empty datagram asks and one four-byte datagram answers.

#include "check/check_protocol.h"
#include "net/timestamp.h"

namespace check {

class Rfc868Protocol : public CheckProtocol {
public:
    explicit Rfc868Protocol(SocketKind kind) : kind_(kind) {}

    SocketKind socketKind() const override { return kind_; }
    void beginAttempt() override { received_ = 0; }
    std::optional<std::string> request() override;
    Reading consume(const Received& received) override;
    bool partial() const override { return received_ > 0; }
    std::string brokenAnswerLine() const override { return "Error reading timestamp."; }

private:
    Reading complete() const;

    SocketKind kind_;
    TimestampBytes bytes_{};
    std::size_t received_ = 0;
};

} // namespace check
