#pragma once
// A transport the test drives by hand: it records what the engine asks of it
// and fires the notices the test chooses, as the real one would.

#include "check/transport.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace fakes {

class FakeTransport : public check::Transport {
public:
    void setReceiver(check::TransportReceiver* receiver) override { receiver_ = receiver; }
    void open(const check::Endpoint& endpoint) override
    {
        opens.push_back(endpoint);
        incoming.clear();
        open_ = true;
    }
    bool send(const std::string& bytes, std::string& error) override
    {
        if (!sendError.empty()) {
            error = sendError;
            return false;
        }
        sent.push_back(bytes);
        return true;
    }
    check::Received receive() override
    {
        ++reads;
        if (incoming.empty())
            return {};
        check::Received next = incoming.front();
        incoming.pop_front();
        return next;
    }
    void close() override
    {
        if (open_)
            ++closes;
        open_ = false;
        armed = false;
    }
    bool isOpen() const override { return open_; }
    void armTimeOut() override { armed = true; }
    void disarmTimeOut() override { armed = false; }
    std::string peerAddress() const override { return address; }
    bool peerIsIpv6() const override { return address.find(':') != std::string::npos; }

    // What a real transport reports on its way to a connection.
    void connect(const std::string& to = "192.0.2.1")
    {
        address = to;
        receiver_->transportLookingUp();
        receiver_->transportConnecting(to);
        receiver_->transportConnected();
    }
    // Bytes arrive; `arrivalNs` is the kernel's stamp, when it gives one.
    void arrive(const std::string& bytes, std::optional<std::int64_t> arrivalNs = {})
    {
        incoming.push_back({check::Received::Status::Data, bytes, arrivalNs, {}});
        receiver_->transportReadable();
    }
    void refuseRead(const std::string& why)
    {
        incoming.push_back({check::Received::Status::Error, {}, {}, why});
        receiver_->transportReadable();
    }
    check::TransportReceiver& receiver() { return *receiver_; }

    std::vector<check::Endpoint> opens;
    std::vector<std::string> sent;
    std::deque<check::Received> incoming;
    std::string address;
    std::string sendError;
    int closes = 0;
    int reads = 0;
    bool armed = false;

private:
    check::TransportReceiver* receiver_ = nullptr;
    bool open_ = false;
};

} // namespace fakes
