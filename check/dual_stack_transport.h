#pragma once
// The transport over the system's sockets, IPv6 and IPv4: every address of a
// name, tried as a dual-stack client should. A stream races its addresses
// (the next one starts 250 ms after the last, or as soon as one fails; the
// first connection made wins); a datagram conversation moves to the next
// address when one refuses or stays silent for its share of the time-out.
// Main thread only: sockets are watched from the Qt event loop.

#include "check/transport.h"
#include "platform/address_lookup.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace check {

// Between the start of one connection attempt and the next.
constexpr std::chrono::milliseconds kConnectionAttemptDelay{250};
// A datagram address is given at least this much of the time-out (unless the
// time-out itself is shorter): a reply needs a round trip at least.
constexpr std::chrono::milliseconds kLeastAddressShare{1000};

class DualStackTransport final : public Transport {
public:
    DualStackTransport();
    ~DualStackTransport() override;
    DualStackTransport(const DualStackTransport&) = delete;
    DualStackTransport& operator=(const DualStackTransport&) = delete;

    void setReceiver(TransportReceiver* receiver) override { receiver_ = receiver; }
    void open(const Endpoint& endpoint) override;
    bool send(const std::string& bytes, std::string& error) override;
    Received receive() override;
    void close() override;
    bool isOpen() const override;
    void armTimeOut() override;
    void disarmTimeOut() override;
    std::string peerAddress() const override;
    bool peerIsIpv6() const override;

private:
    enum class Notice { LookingUp, Connecting, Connected, Failed, Readable, Closed, TimedOut };
    struct Attempt {
        int socket = -1;
        std::size_t address = 0;
        QSocketNotifier* writable = nullptr;
    };

    // Fires one notice; false when the receiver closed, reopened or destroyed
    // this transport meanwhile (the caller must then return at once).
    bool notify(Notice notice, const std::string& text = {}, bool openFailed = false);
    // Runs `body` for a callback of the open() numbered `generation` only.
    template <typename Body>
    void guarded(std::uint64_t generation, Body body);

    void giveUp(const std::string& reason, bool openFailed);
    void addressesKnown(platform::LookupResult result);
    std::string label(std::size_t address) const;
    void startNextAttempt();
    void attemptFinished(int socket);
    void streamConnected(int socket);
    void openDatagram(std::size_t first);
    bool hasNextAddress() const;
    void moveOnLater();
    void moveOn();
    void watchReading();
    void readinessSeen();
    void startAnswerShare();
    void answerTimeRanOut();
    void openTimeRanOut();
    void releaseSockets();
    void retire(QSocketNotifier* notifier);

    TransportReceiver* receiver_ = nullptr;
    Endpoint endpoint_;
    std::string hostLabel_;   // "" for a numeric host, else the name as written
    std::uint64_t generation_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    int busy_ = 0;   // > 0 inside one of our own callbacks or notices

    std::unique_ptr<platform::AddressLookup> lookup_;
    std::vector<platform::SocketAddress> addresses_;
    std::size_t nextAddress_ = 0;
    std::vector<Attempt> attempts_;
    std::string lastFailure_;
    bool anySocketMade_ = false;

    int socket_ = -1;
    std::size_t current_ = 0;
    bool open_ = false;
    bool moving_ = false;        // a datagram conversation is between two addresses
    bool answerArmed_ = false;
    QSocketNotifier* readable_ = nullptr;
    QTimer* openTimer_ = nullptr;     // look-up and connect
    QTimer* attemptTimer_ = nullptr;  // the next stream attempt
    QTimer* answerTimer_ = nullptr;   // the engine's wait, or this address's share of it
    std::chrono::steady_clock::time_point answerDeadline_;
};

} // namespace check
