#pragma once
// The socket layer's exception and the rule that turns an error number and a
// context into its message.

#include "platform/exception.h"

#include <string>

// The one exception type of the socket layer.
class ESockError : public Exception {
public:
    using Exception::Exception;
};

// Context codes: where an error happened. Their texts are string-table
// entries 25001..25025 (code + 5000).
enum SockContext : int {
    ctxNone = 0,
    ctxFindingAddress = 20001,
    ctxGetHostByAddr = 20002,
    ctxGetHostByName = 20003,
    ctxGetServByName = 20004,
    ctxGetServByPort = 20005,
    ctxFindingHost = 20006,
    ctxBinding = 20007,
    ctxConnecting = 20008,
    ctxCreatingSocket = 20009,
    ctxGetPeerName = 20010,
    ctxGetSockName = 20011,
    ctxBytesInBuffer = 20012,
    ctxListening = 20013,
    ctxReceiving = 20014,
    ctxSending = 20015,
    ctxStartup = 20016,
    ctxNoAddress = 20017,
    ctxSocketNotOpen = 20018,
    ctxReverseLookupZero = 20019,
    ctxAlreadyOpened = 20020,
    ctxDatagramTooLarge = 20021,
    ctxLibraryLoaded = 20022,
    ctxInvalidStreamType = 20023,
    ctxInvalidDatagramType = 20024,
    ctxPeeking = 20025,
};

// Text of a Windows Sockets error number or of a context code; "" for 0,
// "Unknown Error %d" for numbers the table does not know. At most 255 characters.
std::string SocketErrorText(int error);

// The message RaiseSocketError would raise, without raising it.
std::string SocketErrorMessage(int error, int context);

[[noreturn]] void RaiseSocketError(int error, int context);
