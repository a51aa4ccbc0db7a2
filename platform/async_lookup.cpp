// Look-ups run on detached worker threads. A worker owns a copy of its
// question and its answer and touches nothing else; it hands the answer back
// by posting to a hidden window through the handle registry. The caller's
// buffer is written on the main thread, immediately before the completion is
// delivered, and only while the request is still pending and its window lives.
#include "platform/async_lookup.h"

#include "platform/winsock.h"
#include "platform/winsock_entries.h"
#include "platform/winsock_internal.h"

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace platform::ws {
namespace detail {
namespace {

enum class LookupKind { host, serviceByName, serviceByPort };

// Shared by the worker and the main thread; the main thread reads the answer
// only after the worker's post has been delivered.
struct LookupJob {
    LookupKind kind = LookupKind::host;
    std::string name;
    std::string protocol;
    bool anyProtocol = false;
    int portNetworkOrder = 0;
    int error = 0;
    HostRecord host;
    ServiceRecord service;
};

struct PendingRequest {
    HWND window = kNoWindow;
    unsigned int msg = 0;
    char* buffer = nullptr;
    int bufferLength = 0;
    std::shared_ptr<LookupJob> job;
};

constexpr unsigned int kLookupDone = 1;   // message of the hidden window; word = request
constexpr std::size_t kMaxScratchBytes = 1u << 16;   // services never need more

HANDLE lastRequest = 0;
std::map<HANDLE, PendingRequest> pendingRequests;
MessageWindow* deliveryWindow = nullptr;
int deliveryDepth = 0;   // > 0 inside the delivery window's own procedure

void lookUpHost(LookupJob& job)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;   // one answer per address
    hints.ai_flags = AI_CANONNAME;
    addrinfo* answers = nullptr;
    const int result = ::getaddrinfo(job.name.c_str(), nullptr, &hints, &answers);
    if (result != 0) {
        job.error = ErrorFromResolver(result);
        return;
    }
    job.host.name = answers->ai_canonname ? answers->ai_canonname : job.name;
    for (const addrinfo* answer = answers; answer; answer = answer->ai_next) {
        if (answer->ai_family != AF_INET || answer->ai_addrlen < sizeof(sockaddr_in))
            continue;
        const std::uint32_t address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr)->sin_addr.s_addr;
        if (std::find(job.host.addresses.begin(), job.host.addresses.end(), address) == job.host.addresses.end())
            job.host.addresses.push_back(address);
    }
    ::freeaddrinfo(answers);
    if (job.host.addresses.empty())
        job.error = WSANO_DATA;
}

void lookUpService(LookupJob& job)
{
    const char* protocol = job.anyProtocol ? nullptr : job.protocol.c_str();
    std::vector<char> scratch(1024);
    servent entry{};
    servent* found = nullptr;
    for (;;) {
        const int result = job.kind == LookupKind::serviceByName
            ? ::getservbyname_r(job.name.c_str(), protocol, &entry, scratch.data(), scratch.size(), &found)
            : ::getservbyport_r(job.portNetworkOrder, protocol, &entry, scratch.data(), scratch.size(), &found);
        if (result != ERANGE || scratch.size() >= kMaxScratchBytes)
            break;
        scratch.resize(scratch.size() * 2);
    }
    if (!found) {
        job.error = WSANO_DATA;   // what Winsock reports for an unknown service
        return;
    }
    job.service.name = entry.s_name;
    for (char** alias = entry.s_aliases; alias && *alias; ++alias)
        job.service.aliases.emplace_back(*alias);
    job.service.portNetworkOrder = static_cast<std::uint16_t>(entry.s_port);
    job.service.protocol = entry.s_proto ? entry.s_proto : "";
}

void runJob(LookupJob& job)
{
    if (job.kind == LookupKind::host)
        lookUpHost(job);
    else
        lookUpService(job);
}

// Main thread, on the worker's post: write the buffer and deliver at once.
void deliver(HANDLE request)
{
    auto found = pendingRequests.find(request);
    if (found == pendingRequests.end())
        return;   // cancelled meanwhile
    PendingRequest pending = std::move(found->second);
    pendingRequests.erase(found);
    if (windowFromHandle(pending.window) == nullptr)
        return;   // the buffer may be gone with its window
    const LookupJob& job = *pending.job;
    int error = job.error;
    int length = 0;
    if (error == 0) {
        const EntryLayout layout = job.kind == LookupKind::host
            ? writeHostEntry(job.host, pending.buffer, pending.bufferLength)
            : writeServiceEntry(job.service, pending.buffer, pending.bufferLength);
        length = layout.length;   // the size needed when it does not fit, as Winsock reports
        if (!layout.fits)
            error = WSAENOBUFS;
    }
    // Sent, not posted: between the write and the delivery nothing can cancel.
    struct DepthScope {
        DepthScope() { ++deliveryDepth; }
        ~DepthScope() { --deliveryDepth; }
    } inDelivery;
    SendMessage(pending.window, pending.msg, static_cast<WPARAM>(request),
                MakeSelectLParam(static_cast<unsigned int>(length), static_cast<unsigned int>(error)));
}

void destroyDeliveryWindow()
{
    // Deleting unregisters it, so workers' late posts are dropped. A WSACleanup
    // from a completion handler runs inside the window's own procedure: defer
    // the deletion then; its late posts find no pending request.
    if (deliveryWindow && deliveryDepth > 0)
        deliveryWindow->deleteLater();
    else
        delete deliveryWindow;
    deliveryWindow = nullptr;
}

HANDLE startRequest(HWND window, unsigned int msg, char* buffer, int bufferLength, std::shared_ptr<LookupJob> job,
                    bool needsWorker)
{
    if (!socketsStarted() || deliveryWindow == nullptr) {
        WSASetLastError(WSANOTINITIALISED);
        return 0;
    }
    if (buffer == nullptr || bufferLength <= 0) {
        WSASetLastError(WSAEFAULT);
        return 0;
    }
    if (windowFromHandle(window) == nullptr) {
        WSASetLastError(WSAEINVAL);
        return 0;
    }
    const HANDLE request = ++lastRequest;
    const HWND deliverer = deliveryWindow->handle();
    pendingRequests.emplace(request, PendingRequest{window, msg, buffer, bufferLength, job});
    if (!needsWorker) {
        PostMessage(deliverer, kLookupDone, static_cast<WPARAM>(request), 0);
        return request;
    }
    try {
        // Detached: a name hanging in DNS must not hold up the program's exit.
        std::thread([job, deliverer, request] {
            runJob(*job);
            PostMessage(deliverer, kLookupDone, static_cast<WPARAM>(request), 0);
        }).detach();
    } catch (const std::system_error&) {
        pendingRequests.erase(request);
        WSASetLastError(WSAENOBUFS);
        return 0;
    }
    return request;
}

} // namespace

void startLookups()
{
    if (deliveryWindow)
        return;
    deliveryWindow = new MessageWindow([](Message& message) {
        if (message.msg == kLookupDone)
            deliver(static_cast<HANDLE>(message.wParam));
    });
    // The window must go while Qt still runs, even without WSACleanup.
    static bool routineAdded = false;
    if (!routineAdded) {
        routineAdded = true;
        qAddPostRoutine(&destroyDeliveryWindow);
    }
}

void stopLookups()
{
    pendingRequests.clear();
    destroyDeliveryWindow();
}

} // namespace detail

HANDLE WSAAsyncGetHostByName(HWND window, unsigned int msg, const char* name, char* buffer, int bufferLength)
{
    if (name == nullptr) {
        WSASetLastError(WSAEFAULT);
        return 0;
    }
    auto job = std::make_shared<detail::LookupJob>();
    job->kind = detail::LookupKind::host;
    // Longer than any host name can be: "not found", without asking anyone.
    const bool tooLong = std::strlen(name) > static_cast<std::size_t>(kMaxHostNameLength);
    if (tooLong)
        job->error = WSAHOST_NOT_FOUND;
    else
        job->name = name;
    return detail::startRequest(window, msg, buffer, bufferLength, job, !tooLong);
}

HANDLE WSAAsyncGetServByName(HWND window, unsigned int msg, const char* name, const char* protocol, char* buffer,
                             int bufferLength)
{
    if (name == nullptr) {
        WSASetLastError(WSAEFAULT);
        return 0;
    }
    auto job = std::make_shared<detail::LookupJob>();
    job->kind = detail::LookupKind::serviceByName;
    job->name = name;
    job->anyProtocol = protocol == nullptr;
    job->protocol = protocol ? protocol : "";
    return detail::startRequest(window, msg, buffer, bufferLength, job, true);
}

HANDLE WSAAsyncGetServByPort(HWND window, unsigned int msg, int portNetworkOrder, const char* protocol, char* buffer,
                             int bufferLength)
{
    auto job = std::make_shared<detail::LookupJob>();
    job->kind = detail::LookupKind::serviceByPort;
    job->portNetworkOrder = portNetworkOrder & 0xFFFF;
    job->anyProtocol = protocol == nullptr;
    job->protocol = protocol ? protocol : "";
    return detail::startRequest(window, msg, buffer, bufferLength, job, true);
}

int WSACancelAsyncRequest(HANDLE request)
{
    if (!detail::socketsStarted())
        return detail::fail(WSANOTINITIALISED);
    if (detail::pendingRequests.erase(request) == 0)
        return detail::fail(WSAEINVAL);
    return 0;
}

} // namespace platform::ws
