#pragma once
// The binding between the socket layer and the platform's socket calls. The
// calls are linked on Linux, but the binding keeps the library's life cycle
// (loaded on first use, started, stopped) so the layer above behaves the same.

#include "platform/winsock.h"

#include <array>
#include <string>

namespace ws = platform::ws;

class tWinsockAPI {
public:
    tWinsockAPI() = default;
    ~tWinsockAPI();
    tWinsockAPI(const tWinsockAPI&) = delete;
    tWinsockAPI& operator=(const tWinsockAPI&) = delete;

    bool Loaded() const { return libraryHandle_ >= 32; }
    bool Started() const { return started_; }
    void SetStarted(bool started) { started_ = started; }

    // The library name: "" means the default "WSOCK32.DLL".
    const std::string& LibraryName() const { return libraryName_; }
    void SetLibraryName(const std::string& name);

    // "Loads" the library on first use and resolves a function by name.
    void* GetProc(const char* name);
    void ForgetResolvedFunctions() { functions_.fill(nullptr); }

    ws::SOCKET socket(int family, int type, int protocol);
    int bind(ws::SOCKET s, const ws::SOCKADDR_IN* address, int length);
    int listen(ws::SOCKET s, int backlog);
    ws::SOCKET accept(ws::SOCKET s, ws::SOCKADDR_IN* address, int* length);
    int connect(ws::SOCKET s, const ws::SOCKADDR_IN* address, int length);
    int recv(ws::SOCKET s, char* buffer, int count, int flags);
    int recvfrom(ws::SOCKET s, char* buffer, int count, int flags, ws::SOCKADDR_IN* from, int* fromLength);
    int send(ws::SOCKET s, const char* buffer, int count, int flags);
    int sendto(ws::SOCKET s, const char* buffer, int count, int flags, const ws::SOCKADDR_IN* to, int toLength);
    int closesocket(ws::SOCKET s);
    int ioctlsocket(ws::SOCKET s, long command, std::uint32_t* argument);
    std::uint16_t htons(std::uint16_t value);
    std::uint16_t ntohs(std::uint16_t value);
    std::uint32_t ntohl(std::uint32_t value);
    std::uint32_t inet_addr(const char* text);
    std::string inet_ntoa(std::uint32_t address);
    int WSAStartup(std::uint16_t version, ws::WSADATA* data);
    int WSACleanup();
    int WSAGetLastError();
    bool WSAIsBlocking();
    int WSACancelBlockingCall();
    ws::HANDLE WSAAsyncGetHostByName(platform::HWND window, unsigned int msg, const char* name, char* buffer, int length);
    ws::HANDLE WSAAsyncGetServByName(platform::HWND window, unsigned int msg, const char* name, const char* protocol,
                                     char* buffer, int length);
    ws::HANDLE WSAAsyncGetServByPort(platform::HWND window, unsigned int msg, int port, const char* protocol,
                                     char* buffer, int length);
    int WSACancelAsyncRequest(ws::HANDLE request);
    int WSAAsyncSelect(ws::SOCKET s, platform::HWND window, unsigned int msg, long mask);

private:
    // Resolves a function on its first call, as a loaded library's entry would be.
    template <typename Function>
    Function* entry(int slot, const char* name);

    static constexpr int kFunctionCount = 27;
    std::uintptr_t libraryHandle_ = 0;
    std::string libraryName_;
    bool started_ = false;
    std::array<void*, kFunctionCount> functions_{};
};

// Unit-wide state beside the binding.
constexpr std::uint16_t kRequestedWinsockVersion = 257;   // 1.1
struct WinsockState {
    ws::WSADATA startupData;
    int lastResult = 0;
};
WinsockState& Winsock();

// The binding, created on demand.
tWinsockAPI& WinsockAPI();
bool SocketsStarted();
void StartupSockets();
void ShutdownSockets();
// Sets the library name of the binding (creating it if needed).
void SetLibraryName(const std::string& name);

// Makes GetProc resolve `name` to `address` instead of the platform's call
// (nullptr restores it), the way a different library would: tests use it to
// stand in for calls whose outcome they cannot arrange on a real network.
void OverrideSocketFunction(const std::string& name, void* address);
