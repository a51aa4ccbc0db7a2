#pragma once
// One short TLS 1.3 conversation over TCP, blocking, bounded by a deadline:
// connect to the first address that answers, shake hands (the certificate
// checked against the system's trust store or a given file, and the host
// name), agree on one application protocol, send a request, read until the
// caller has enough, and export keying material. Meant for a worker thread:
// it touches no Qt object. Failures are sentences a user can act on.

#include "platform/address_lookup.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct TlsExchangeRequest {
    std::string host;                       // the name the certificate must carry (also sent as SNI)
    std::vector<SocketAddress> addresses;   // tried in turn until one connects
    std::string caFile;                     // empty: the system's trust store
    std::string alpn;                       // the one protocol offered; the server must choose it
    std::string request;                    // sent once the handshake is done
    // True when what was read so far is a whole answer.
    std::function<bool(const std::string& received)> complete;
    std::size_t maxAnswerBytes = 65536;
    int timeOutMs = 10000;                  // for each connect, and for the handshake and answer together
    std::string exporterLabel;
    std::vector<std::string> exporterContexts;   // one secret per context
    std::size_t exporterBytes = 32;
    // Steps as they happen ("Connecting to 192.0.2.1 port 4460..."), on the worker's thread.
    std::function<void(const std::string& line)> progress;
    const std::atomic<bool>* cancelled = nullptr;
};

struct TlsExchangeResult {
    std::string error;          // empty: success
    std::string address;        // the address that answered
    std::string tlsVersion;     // "TLS1.3"
    std::string answer;         // what was read
    std::vector<std::string> exported;   // one per context
};

TlsExchangeResult RunTlsExchange(const TlsExchangeRequest& request);

} // namespace platform
