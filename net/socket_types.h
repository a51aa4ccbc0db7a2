#pragma once
// Types shared by every socket component: progress codes, states, options and
// the event signatures.

#include "net/winsock_api.h"

#include <cstdint>
#include <functional>

class TSockCtrl;
class TSocketBase;

// Progress codes reported through OnInfo; 0 is never reported.
enum TSockInfo : int {
    siNone = 0,
    siLookUp = 1,
    siConnect = 2,
    siConnected = 3,
    siListen = 4,
    siRecv = 5,
    siSend = 6,
    siClose = 7,
    siTimeOut = 8,
    siAccept = 9,
    siUnknownSocket = 10,
    siRefuse = 11,
};

enum TSocketState : std::uint8_t { ssClosed = 0, ssConnected = 1, ssClosing = 2, ssListening = 3 };

// A set of notification kinds; bit n is element n, so the byte is directly the
// platform's mask for read (1), write (2) and out-of-band data (4).
enum TAsyncOptionsType : std::uint8_t { csoRead = 0, csoWrite = 1, csoOOB = 2 };
class TAsyncOptions {
public:
    constexpr TAsyncOptions() = default;
    constexpr TAsyncOptions(std::initializer_list<TAsyncOptionsType> elements)
    {
        for (TAsyncOptionsType element : elements)
            bits_ |= static_cast<std::uint8_t>(1u << element);
    }
    constexpr bool contains(TAsyncOptionsType element) const { return bits_ & (1u << element); }
    constexpr std::uint8_t bits() const { return bits_; }
    constexpr bool operator==(const TAsyncOptions&) const = default;

private:
    std::uint8_t bits_ = 0;
};

// One pending asynchronous request reported through OnAsyncComplete.
struct tAsyncInfo {
    ws::HANDLE handle = 0;
    std::uint16_t error = 0;
};

using TSocketEvent = std::function<void(TSockCtrl* Sender, TSocketBase* Socket)>;
using TSockInfoEvent = std::function<void(TSockCtrl* Sender, TSockInfo icode, TSocketBase* Socket)>;
using TSocketAsyncEvent = std::function<void(TSockCtrl* Sender, tAsyncInfo* AsyncInfo)>;

// A "class of TSocketBase": makes a socket object of one kind for an owner.
using TSocketClass = TSocketBase* (*)(TSockCtrl* owner);
template <typename SocketKind>
TSocketBase* SocketClassOf(TSockCtrl* owner)
{
    return new SocketKind(owner);
}
