#pragma once
// The sources of a check from the hosts the user gave: an address is one
// source; a name is one source per address, as many as a pool hands out at
// once, each asked by its number and shown with the name. An address met
// again is dropped: a server must not get two votes.

#include "check/transport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class AddressLookup;
}

namespace check {

struct Source {
    std::string server;   // as the user gave it
    std::string host;     // what the transport is asked: an address, or the name itself
    std::string error;    // non-empty: the name gave no address, and why
};

class SourceAddresses {
public:
    static constexpr std::size_t kAddressesPerName = 4;
    using Done = std::function<void(std::vector<Source>)>;

    SourceAddresses();
    ~SourceAddresses();   // cancels
    SourceAddresses(const SourceAddresses&) = delete;
    SourceAddresses& operator=(const SourceAddresses&) = delete;

    // The sources of `hosts`, in the order given; `done` runs from the event
    // loop once every name is resolved, or at once when none needs a look-up.
    void start(const std::vector<std::string>& hosts, TransportKind kind, Done done);
    void cancel();

private:
    void resolved(std::size_t index, std::vector<Source> sources);

    std::vector<std::unique_ptr<platform::AddressLookup>> lookups_;
    std::vector<std::vector<Source>> found_;   // per host given
    std::size_t pending_ = 0;
    Done done_;
};

} // namespace check
