#pragma once
// The key exchange before authenticated NTP: look the host up, then on a
// worker thread talk TLS 1.3 to each address in turn until one answers, and
// read the keys and cookies it hands out. Its steps and its end come back on
// the owner's thread, from the event loop, never after cancel().

#include "check/nts_session.h"
#include "platform/address_lookup.h"

#include <functional>
#include <memory>
#include <string>

class QObject;

namespace check {

struct KeyExchangeSettings {
    std::string host;            // as the user wrote it; the certificate must name it
    std::string port = "4460";   // the key exchange's TCP port
    std::string caFile;          // empty: the system's trust store
    int timeOutSeconds = 10;     // for the look-up, each connection and the answer; 0: a minute
    std::string address;         // empty: look the host up; else connect here alone
};

struct KeyExchangeOutcome {
    std::string error;   // empty: success; else one line for the log, capitalised, no full stop
    NtsSession session;
};

class NtsKeyExchange {
public:
    using Log = std::function<void(const std::string& line)>;   // lines start with '>'
    using Done = std::function<void(const KeyExchangeOutcome& outcome)>;

    NtsKeyExchange();
    ~NtsKeyExchange();
    NtsKeyExchange(const NtsKeyExchange&) = delete;
    NtsKeyExchange& operator=(const NtsKeyExchange&) = delete;

    // Cancels any exchange still running, then starts this one.
    void start(const KeyExchangeSettings& settings, Log log, Done done);
    void cancel();
    bool running() const { return running_; }

    // The context of the exporter's secrets: NTPv4, AES-SIV-CMAC-256, direction.
    static std::string exporterContext(bool serverToClient);

private:
    struct Shared;
    void connect(platform::LookupResult addresses);
    void finish(KeyExchangeOutcome outcome);

    std::unique_ptr<QObject> context_;
    std::shared_ptr<Shared> shared_;
    platform::AddressLookup lookup_;
    KeyExchangeSettings settings_;
    Log log_;
    Done done_;
    bool running_ = false;
};

} // namespace check
