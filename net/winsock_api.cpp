#include "net/winsock_api.h"

#include "net/notify_queue.h"
#include "net/sock_error.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>

namespace {

constexpr std::string_view kDefaultLibraryName = "WSOCK32.DLL";
// Handles below this value are loader errors, as in the platform's loader.
constexpr std::uintptr_t kFirstValidLibraryHandle = 32;

struct ExportedFunction {
    std::string_view name;
    void* address;
};

// What the "library" exports: the platform's calls under their Winsock names.
const ExportedFunction kExports[] = {
    {"socket", reinterpret_cast<void*>(&ws::socket)},
    {"bind", reinterpret_cast<void*>(&ws::bind)},
    {"listen", reinterpret_cast<void*>(&ws::listen)},
    {"accept", reinterpret_cast<void*>(&ws::accept)},
    {"connect", reinterpret_cast<void*>(&ws::connect)},
    {"recv", reinterpret_cast<void*>(&ws::recv)},
    {"recvfrom", reinterpret_cast<void*>(&ws::recvfrom)},
    {"send", reinterpret_cast<void*>(&ws::send)},
    {"sendto", reinterpret_cast<void*>(&ws::sendto)},
    {"closesocket", reinterpret_cast<void*>(&ws::closesocket)},
    {"ioctlsocket", reinterpret_cast<void*>(&ws::ioctlsocket)},
    {"htons", reinterpret_cast<void*>(&ws::htons)},
    {"ntohs", reinterpret_cast<void*>(&ws::ntohs)},
    {"ntohl", reinterpret_cast<void*>(&ws::ntohl)},
    {"inet_addr", reinterpret_cast<void*>(&ws::inet_addr)},
    {"inet_ntoa", reinterpret_cast<void*>(&ws::inet_ntoa)},
    {"WSAStartup", reinterpret_cast<void*>(&ws::WSAStartup)},
    {"WSACleanup", reinterpret_cast<void*>(&ws::WSACleanup)},
    {"WSAGetLastError", reinterpret_cast<void*>(&ws::WSAGetLastError)},
    {"WSAIsBlocking", reinterpret_cast<void*>(&ws::WSAIsBlocking)},
    {"WSACancelBlockingCall", reinterpret_cast<void*>(&ws::WSACancelBlockingCall)},
    {"WSAAsyncGetHostByName", reinterpret_cast<void*>(&ws::WSAAsyncGetHostByName)},
    {"WSAAsyncGetServByName", reinterpret_cast<void*>(&ws::WSAAsyncGetServByName)},
    {"WSAAsyncGetServByPort", reinterpret_cast<void*>(&ws::WSAAsyncGetServByPort)},
    {"WSACancelAsyncRequest", reinterpret_cast<void*>(&ws::WSACancelAsyncRequest)},
    {"WSAAsyncSelect", reinterpret_cast<void*>(&ws::WSAAsyncSelect)},
};

// The library's extension is what follows the last full stop after the last
// path separator.
bool hasExtension(const std::string& name)
{
    const std::size_t separator = name.find_last_of("\\:");
    const std::size_t dot = name.find_last_of('.');
    return dot != std::string::npos && (separator == std::string::npos || dot > separator);
}

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
    });
}

std::unordered_map<std::string, void*>& overrides()
{
    static std::unordered_map<std::string, void*> replaced;
    return replaced;
}

std::unique_ptr<tWinsockAPI>& bindingSlot()
{
    static std::unique_ptr<tWinsockAPI> binding;
    return binding;
}

} // namespace

tWinsockAPI::~tWinsockAPI()
{
    // Unloading a linked library releases nothing; the handle is just forgotten.
    libraryHandle_ = 0;
}

void tWinsockAPI::SetLibraryName(const std::string& name)
{
    if (Loaded())
        RaiseSocketError(0, ctxLibraryLoaded);
    if (!libraryName_.empty() && equalIgnoringCase(libraryName_, name))
        return;
    libraryName_.clear();
    if (name.empty())
        return;
    libraryName_ = hasExtension(name) ? name : name + ".DLL";
}

void* tWinsockAPI::GetProc(const char* name)
{
    if (libraryHandle_ < kFirstValidLibraryHandle) {
        if (libraryName_.empty())
            SetLibraryName(std::string(kDefaultLibraryName));
        // The calls are linked into the program, so "loading" always succeeds.
        libraryHandle_ = kFirstValidLibraryHandle;
    }
    if (auto replaced = overrides().find(name); replaced != overrides().end())
        return replaced->second;
    for (const ExportedFunction& function : kExports) {
        if (function.name == name)
            return function.address;
    }
    throw Exception("Unable to locate function in DLL");
}

template <typename Function>
Function* tWinsockAPI::entry(int slot, const char* name)
{
    if (!functions_[slot])
        functions_[slot] = GetProc(name);
    return reinterpret_cast<Function*>(functions_[slot]);
}

// One slot per function, in the order of the table above.
#define TIKORA_WINSOCK_CALL(slot, function) entry<decltype(ws::function)>(slot, #function)

ws::SOCKET tWinsockAPI::socket(int family, int type, int protocol)
{
    return TIKORA_WINSOCK_CALL(0, socket)(family, type, protocol);
}
int tWinsockAPI::bind(ws::SOCKET s, const ws::SOCKADDR_IN* address, int length)
{
    return TIKORA_WINSOCK_CALL(1, bind)(s, address, length);
}
int tWinsockAPI::listen(ws::SOCKET s, int backlog) { return TIKORA_WINSOCK_CALL(2, listen)(s, backlog); }
ws::SOCKET tWinsockAPI::accept(ws::SOCKET s, ws::SOCKADDR_IN* address, int* length)
{
    return TIKORA_WINSOCK_CALL(3, accept)(s, address, length);
}
int tWinsockAPI::connect(ws::SOCKET s, const ws::SOCKADDR_IN* address, int length)
{
    return TIKORA_WINSOCK_CALL(4, connect)(s, address, length);
}
int tWinsockAPI::recv(ws::SOCKET s, char* buffer, int count, int flags)
{
    return TIKORA_WINSOCK_CALL(5, recv)(s, buffer, count, flags);
}
int tWinsockAPI::recvfrom(ws::SOCKET s, char* buffer, int count, int flags, ws::SOCKADDR_IN* from, int* fromLength)
{
    return TIKORA_WINSOCK_CALL(6, recvfrom)(s, buffer, count, flags, from, fromLength);
}
int tWinsockAPI::send(ws::SOCKET s, const char* buffer, int count, int flags)
{
    return TIKORA_WINSOCK_CALL(7, send)(s, buffer, count, flags);
}
int tWinsockAPI::sendto(ws::SOCKET s, const char* buffer, int count, int flags, const ws::SOCKADDR_IN* to,
                        int toLength)
{
    return TIKORA_WINSOCK_CALL(8, sendto)(s, buffer, count, flags, to, toLength);
}
int tWinsockAPI::closesocket(ws::SOCKET s) { return TIKORA_WINSOCK_CALL(9, closesocket)(s); }
int tWinsockAPI::ioctlsocket(ws::SOCKET s, long command, std::uint32_t* argument)
{
    return TIKORA_WINSOCK_CALL(10, ioctlsocket)(s, command, argument);
}
std::uint16_t tWinsockAPI::htons(std::uint16_t value) { return TIKORA_WINSOCK_CALL(11, htons)(value); }
std::uint16_t tWinsockAPI::ntohs(std::uint16_t value) { return TIKORA_WINSOCK_CALL(12, ntohs)(value); }
std::uint32_t tWinsockAPI::ntohl(std::uint32_t value) { return TIKORA_WINSOCK_CALL(13, ntohl)(value); }
std::uint32_t tWinsockAPI::inet_addr(const char* text) { return TIKORA_WINSOCK_CALL(14, inet_addr)(text); }
std::string tWinsockAPI::inet_ntoa(std::uint32_t address)
{
    const char* text = TIKORA_WINSOCK_CALL(15, inet_ntoa)(address);
    return text ? std::string(text) : std::string();
}
int tWinsockAPI::WSAStartup(std::uint16_t version, ws::WSADATA* data)
{
    return TIKORA_WINSOCK_CALL(16, WSAStartup)(version, data);
}
int tWinsockAPI::WSACleanup() { return TIKORA_WINSOCK_CALL(17, WSACleanup)(); }
int tWinsockAPI::WSAGetLastError() { return TIKORA_WINSOCK_CALL(18, WSAGetLastError)(); }
bool tWinsockAPI::WSAIsBlocking() { return TIKORA_WINSOCK_CALL(19, WSAIsBlocking)(); }
int tWinsockAPI::WSACancelBlockingCall() { return TIKORA_WINSOCK_CALL(20, WSACancelBlockingCall)(); }
ws::HANDLE tWinsockAPI::WSAAsyncGetHostByName(platform::HWND window, unsigned int msg, const char* name,
                                              char* buffer, int length)
{
    return TIKORA_WINSOCK_CALL(21, WSAAsyncGetHostByName)(window, msg, name, buffer, length);
}
ws::HANDLE tWinsockAPI::WSAAsyncGetServByName(platform::HWND window, unsigned int msg, const char* name,
                                              const char* protocol, char* buffer, int length)
{
    return TIKORA_WINSOCK_CALL(22, WSAAsyncGetServByName)(window, msg, name, protocol, buffer, length);
}
ws::HANDLE tWinsockAPI::WSAAsyncGetServByPort(platform::HWND window, unsigned int msg, int port,
                                              const char* protocol, char* buffer, int length)
{
    return TIKORA_WINSOCK_CALL(23, WSAAsyncGetServByPort)(window, msg, port, protocol, buffer, length);
}
int tWinsockAPI::WSACancelAsyncRequest(ws::HANDLE request)
{
    return TIKORA_WINSOCK_CALL(24, WSACancelAsyncRequest)(request);
}
int tWinsockAPI::WSAAsyncSelect(ws::SOCKET s, platform::HWND window, unsigned int msg, long mask)
{
    return TIKORA_WINSOCK_CALL(25, WSAAsyncSelect)(s, window, msg, mask);
}

#undef TIKORA_WINSOCK_CALL

WinsockState& Winsock()
{
    static WinsockState state;
    return state;
}

tWinsockAPI& WinsockAPI()
{
    auto& binding = bindingSlot();
    if (!binding)
        binding = std::make_unique<tWinsockAPI>();
    return *binding;
}

bool SocketsStarted()
{
    return WinsockAPI().Started();
}

void SetLibraryName(const std::string& name)
{
    WinsockAPI().SetLibraryName(name);
}

void OverrideSocketFunction(const std::string& name, void* address)
{
    if (address)
        overrides()[name] = address;
    else
        overrides().erase(name);
    if (bindingSlot())
        bindingSlot()->ForgetResolvedFunctions();
}

void StartupSockets()
{
    if (SocketsStarted())
        return;
    ResetSocketControlCounters();
    WinsockState& state = Winsock();
    state.lastResult = WinsockAPI().WSAStartup(kRequestedWinsockVersion, &state.startupData);
    WinsockAPI().SetStarted(state.lastResult == 0);
    if (state.lastResult != 0)
        RaiseSocketError(state.lastResult, ctxStartup);
}

void ShutdownSockets()
{
    auto& binding = bindingSlot();
    if (binding && binding->Started()) {
        if (binding->WSAIsBlocking())
            binding->WSACancelBlockingCall();
        Winsock().lastResult = binding->WSACleanup();
        binding->SetStarted(false);
    }
    ClearDeferredNotifications();
    // A loaded library would be given time to finish here before unloading;
    // linked calls need no such pause.
    binding.reset();
}
