// Names are resolved on detached worker threads, as the Winsock look-ups are:
// a worker owns its question and answer and touches nothing else, and hands
// the answer back by posting to a hidden window. A post for a look-up that was
// cancelled or replaced meanwhile finds another request number and is dropped.
#include "platform/address_lookup.h"

#include "platform/messages.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

namespace platform {
namespace {

constexpr unsigned int kLookupDone = 1;   // the hidden window's message; word = request number
constexpr std::size_t kMaxHostNameLength = 253;   // longer is no DNS name

std::atomic<int> workersStarted{0};

const char* protocolName(SocketType type)
{
    return type == SocketType::Stream ? "tcp" : "udp";
}

std::string resolverError(int code)
{
    switch (code) {
    case EAI_NONAME:
        return "host not found";
    case EAI_AGAIN:
        return "the name server did not answer; try again later";
    case EAI_FAIL:
        return "the name server failed";
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return "the host has no address";
    case EAI_FAMILY:
        return "no address of a family we speak";
    case EAI_MEMORY:
        return "out of memory looking up the host";
    case EAI_SYSTEM:
        return std::string("looking up the host: ") + std::strerror(errno);
    default:
        return ::gai_strerror(code);
    }
}

LookupResult resolve(const std::string& host, std::uint16_t port, SocketType type, int flags)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = type == SocketType::Stream ? SOCK_STREAM : SOCK_DGRAM;   // one answer per address
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* answers = nullptr;
    const std::string service = std::to_string(port);
    LookupResult result;
    const int code = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &answers);
    if (code != 0) {
        result.error = resolverError(code);
        return result;
    }
    std::vector<SocketAddress> found;
    for (const addrinfo* answer = answers; answer; answer = answer->ai_next) {
        if ((answer->ai_family != AF_INET && answer->ai_family != AF_INET6) || answer->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SocketAddress address;
        std::memcpy(&address.storage, answer->ai_addr, answer->ai_addrlen);
        address.length = answer->ai_addrlen;
        const bool seen = std::any_of(found.begin(), found.end(), [&](const SocketAddress& other) {
            return other.length == address.length && std::memcmp(&other.storage, &address.storage, address.length) == 0;
        });
        if (!seen)
            found.push_back(address);
    }
    ::freeaddrinfo(answers);
    if (found.empty())
        result.error = "no address of a family we speak";
    result.addresses = InterleaveFamilies(found);
    return result;
}

bool isNumericAddress(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* answers = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &answers) != 0)
        return false;
    ::freeaddrinfo(answers);
    return true;
}

} // namespace

HostText ParseHost(const std::string& text)
{
    HostText parsed;
    if (text.empty()) {
        parsed.error = "no host given";
        return parsed;
    }
    if (text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos) {
            parsed.error = "'[' without its ']'";
            return parsed;
        }
        if (close + 1 != text.size()) {
            parsed.error = "text after ']' (give the port on its own)";
            return parsed;
        }
        parsed.host = text.substr(1, close - 1);
        if (parsed.host.find(':') == std::string::npos || !isNumericAddress(parsed.host)) {
            parsed.error = "only an IPv6 address goes in brackets";
            return parsed;
        }
        parsed.numeric = true;
        return parsed;
    }
    if (text.size() > kMaxHostNameLength && text.find(':') == std::string::npos) {
        parsed.error = "host name too long";
        return parsed;
    }
    if (text.find_first_of(" \t\r\n[]") != std::string::npos) {
        parsed.error = "a host name has no spaces or brackets";
        return parsed;
    }
    parsed.host = text;
    parsed.numeric = isNumericAddress(text);
    if (!parsed.numeric && text.find(':') != std::string::npos)
        parsed.error = "not an IPv6 address";
    return parsed;
}

PortNumber ResolvePort(const std::string& text, SocketType type)
{
    PortNumber result;
    if (text.empty()) {
        result.error = "no port given";
        return result;
    }
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const unsigned long value = text.size() > 5 ? 0 : std::stoul(text);
        if (value < 1 || value > 65535)
            result.error = "port " + text + " is not from 1 to 65535";
        else
            result.port = static_cast<std::uint16_t>(value);
        return result;
    }
    std::vector<char> scratch(1024);
    servent entry{};
    servent* found = nullptr;
    while (::getservbyname_r(text.c_str(), protocolName(type), &entry, scratch.data(), scratch.size(), &found) == ERANGE &&
           scratch.size() < (1u << 16))
        scratch.resize(scratch.size() * 2);
    if (!found)
        result.error = "unknown service '" + text + "' over " + protocolName(type);
    else
        result.port = ntohs(static_cast<std::uint16_t>(entry.s_port));
    return result;
}

std::string SocketAddress::numeric() const
{
    char text[NI_MAXHOST] = {};
    if (::getnameinfo(get(), length, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
        return "?";
    return text;
}

std::vector<SocketAddress> InterleaveFamilies(const std::vector<SocketAddress>& addresses)
{
    std::vector<SocketAddress> v6, v4, ordered;
    for (const SocketAddress& address : addresses)
        (address.family() == AF_INET6 ? v6 : v4).push_back(address);
    for (std::size_t i = 0; i < std::max(v6.size(), v4.size()); ++i) {
        if (i < v6.size())
            ordered.push_back(v6[i]);
        if (i < v4.size())
            ordered.push_back(v4[i]);
    }
    return ordered;
}

LookupResult ResolveNumericHost(const std::string& host, std::uint16_t port, SocketType type)
{
    // No AI_ADDRCONFIG: an address the user wrote is tried even where the
    // machine has no address of its family but loopback.
    return resolve(host, port, type, AI_NUMERICHOST);
}

struct LookupJob {
    std::string name;
    std::uint16_t port = 0;
    SocketType type = SocketType::Stream;
    LookupResult result;
};

// Shared by the lookup and its hidden window's procedure, which may outlive it
// by a little when the lookup is destroyed from inside its own callback.
struct Delivery {
    std::uint64_t pending = 0;   // 0: nothing awaited
    std::shared_ptr<LookupJob> job;
    AddressLookup::Done done;
    bool delivering = false;
};

struct AddressLookup::State {
    std::shared_ptr<Delivery> delivery = std::make_shared<Delivery>();
    MessageWindow* window = nullptr;
    std::uint64_t lastRequest = 0;
};

AddressLookup::AddressLookup() : state_(std::make_unique<State>())
{
    std::shared_ptr<Delivery> delivery = state_->delivery;
    state_->window = new MessageWindow([delivery](Message& message) {
        if (message.msg != kLookupDone || delivery->pending == 0 || message.wParam != delivery->pending)
            return;   // cancelled or replaced meanwhile
        delivery->pending = 0;
        Done done = std::move(delivery->done);
        std::shared_ptr<LookupJob> job = std::move(delivery->job);
        delivery->delivering = true;
        done(std::move(job->result));
        delivery->delivering = false;
    });
}

AddressLookup::~AddressLookup()
{
    cancel();
    // Deleting the window unregisters its handle, so later posts are dropped;
    // from inside its own procedure it must wait for the event loop.
    if (state_->delivery->delivering)
        state_->window->deleteLater();
    else
        delete state_->window;
}

void AddressLookup::start(const std::string& name, std::uint16_t port, SocketType type, Done done)
{
    cancel();
    auto job = std::make_shared<LookupJob>();
    job->name = name;
    job->port = port;
    job->type = type;
    const std::uint64_t request = ++state_->lastRequest;
    Delivery& delivery = *state_->delivery;
    delivery.pending = request;
    delivery.job = job;
    delivery.done = std::move(done);
    const HWND window = state_->window->handle();
    try {
        // Detached: a name hanging in DNS must not hold up the program's exit.
        std::thread([job, window, request] {
            job->result = resolve(job->name, job->port, job->type, AI_ADDRCONFIG);
            PostMessage(window, kLookupDone, static_cast<WPARAM>(request), 0);
        }).detach();
        ++workersStarted;
    } catch (const std::system_error&) {
        job->result.error = "no thread for the look-up";
        PostMessage(window, kLookupDone, static_cast<WPARAM>(request), 0);
    }
}

void AddressLookup::cancel()
{
    Delivery& delivery = *state_->delivery;
    delivery.pending = 0;
    delivery.job.reset();
    delivery.done = nullptr;
}

bool AddressLookup::running() const
{
    return state_->delivery->pending != 0;
}

int AddressLookup::threadsStarted()
{
    return workersStarted.load();
}

} // namespace platform
