#include "check/source_addresses.h"

#include "platform/address_lookup.h"

#include <algorithm>

namespace check {

SourceAddresses::SourceAddresses() = default;
SourceAddresses::~SourceAddresses() = default;

void SourceAddresses::cancel()
{
    lookups_.clear();   // each cancels its own look-up
    found_.clear();
    pending_ = 0;
    done_ = nullptr;
}

void SourceAddresses::start(const std::vector<std::string>& hosts, TransportKind kind, Done done)
{
    cancel();
    done_ = std::move(done);
    found_.resize(hosts.size());
    const platform::SocketType type =
        kind == TransportKind::Stream ? platform::SocketType::Stream : platform::SocketType::Datagram;
    std::vector<std::size_t> names;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        const platform::HostText parsed = platform::ParseHost(hosts[i]);
        // A bad host is the transport's to refuse, in its own words, like any other.
        if (!parsed.error.empty())
            found_[i] = {{hosts[i], hosts[i], {}}};
        else if (parsed.numeric)
            found_[i] = {{hosts[i], parsed.host, {}}};
        else
            names.push_back(i);
    }
    pending_ = names.size();
    for (const std::size_t i : names) {
        auto& lookup = lookups_.emplace_back(std::make_unique<platform::AddressLookup>());
        const std::string name = hosts[i];
        // Only the addresses are wanted: the port is the check's, given later.
        lookup->start(name, 0, type, [this, i, name](platform::LookupResult result) {
            std::vector<Source> sources;
            if (result.addresses.empty())
                sources.push_back({name, name, result.error.empty() ? "host not found" : result.error});
            for (std::size_t a = 0; a < result.addresses.size() && a < kAddressesPerName; ++a)
                sources.push_back({name, result.addresses[a].numeric(), {}});
            resolved(i, std::move(sources));
        });
    }
    if (pending_ == 0)
        resolved(hosts.size(), {});
}

void SourceAddresses::resolved(std::size_t index, std::vector<Source> sources)
{
    if (index < found_.size()) {
        found_[index] = std::move(sources);
        --pending_;
    }
    if (pending_ > 0)
        return;
    std::vector<Source> all;
    for (std::vector<Source>& some : found_) {
        for (Source& source : some) {
            // One server under two names, or given twice, is still one voice.
            const bool seen = source.error.empty() && std::any_of(all.begin(), all.end(), [&](const Source& other) {
                                  return other.error.empty() && other.host == source.host;
                              });
            if (!seen)
                all.push_back(std::move(source));
        }
    }
    Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(std::move(all));
}

} // namespace check
