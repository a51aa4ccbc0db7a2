#include "net/client_socket.h"

#include "net/notify_queue.h"
#include "net/protocol_table.h"
#include "net/sock_error.h"

#include <charconv>

namespace {

// The dotted-address parser is given at most this many characters.
constexpr std::size_t kDottedParserLimit = 101;

// A whole number in decimal, as the port and protocol setters accept it.
bool parseInteger(const std::string& text, long long& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+')
        ++first;
    auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last && first != last;
}

} // namespace

TCustomClientSocket::TCustomClientSocket() = default;

bool TCustomClientSocket::IsOpen() const
{
    return CurrentSocket() && CurrentSocket()->IsConnected();
}

void TCustomClientSocket::Open(TSocketClass socketClass)
{
    if (IsOpen())
        RaiseSocketError(0, ctxAlreadyOpened);
    ReplaceSocket(nullptr);
    ReplaceSocket(socketClass(this));
    TSocketBase* socket = CurrentSocket();
    SocketInUse inUse(socket);
    socket->Connect(hostName_, options_, portNumber_, serviceName_, ipText_);
}

void TCustomClientSocket::Close()
{
    TSocketBase* socket = CurrentSocket();
    if (!socket || !socket->IsConnected())
        RaiseSocketError(0, ctxSocketNotOpen);
    DisarmTimeOut();
    SocketInUse inUse(socket);
    socket->Close();
}

void TCustomClientSocket::NotifyConnect(TSocketBase* socket)
{
    SocketInUse inUse(socket);
    socket->DoConnect();
}

// Applied to the current socket object whatever handle the message names:
// a refused connection shows as OnConnect with a non-zero last error.
void TCustomClientSocket::SocketNotify(platform::Message& message)
{
    TSocketBase* socket = CurrentSocket();
    if (!socket)
        return;
    SocketInUse inUse(socket);
    const unsigned int event = platform::LowWord(message.lParam);
    const int error = static_cast<int>(platform::HighWord(message.lParam));
    socket->LastError = error;
    switch (event) {
    case ws::FD_CONNECT:
        DisarmTimeOut();
        if (error == 0) {
            socket->State = ssConnected;
            NotifyInfo(socket, siConnected);
        }
        NotifyConnect(socket);
        break;
    case ws::FD_READ:
        NotifyRead(socket);
        break;
    case ws::FD_WRITE:
        NotifyWrite(socket);
        break;
    case ws::FD_CLOSE:
        if (socket->IsConnected())
            DisarmTimeOut();
        NotifyDisconnect(socket);
        break;
    default:
        break;
    }
}

void TClientSocket::SetAddress(const std::string& address)
{
    address_ = address;
    const std::string dotted = address.substr(0, kDottedParserLimit);
    if (WinsockAPI().inet_addr(dotted.c_str()) != ws::INADDR_NONE_) {
        ipText_ = address;
        hostName_.clear();
    } else {
        hostName_ = address;
        ipText_.clear();
    }
}

void TClientSocket::SetPort(const std::string& port)
{
    port_ = port;
    long long number = 0;
    if (parseInteger(port, number) && number != -1) {
        portNumber_ = static_cast<std::uint16_t>(static_cast<unsigned long long>(number) & 0xFFFFu);
        serviceName_.clear();
        if (SocketsStarted()) {
            try {
                serviceName_ = LookupPort(portNumber_);
            } catch (const ESockError&) {
                serviceName_.clear();
            }
        }
        return;
    }
    serviceName_ = port;
    portNumber_ = 0;
    if (SocketsStarted()) {
        try {
            portNumber_ = LookupService(serviceName_);
        } catch (const ESockError&) {
            portNumber_ = 0;
        }
    }
}

void TClientSocket::SetProtocol(const std::string& protocol)
{
    protocol_ = protocol;
    long long number = 0;
    if (parseInteger(protocol, number) && number != -1 && number >= INT32_MIN && number <= INT32_MAX) {
        protocolNumber_ = static_cast<int>(number);
        protocolName_ = ProtocolNameOf(protocolNumber_);
        return;
    }
    protocolName_ = protocol;
    protocolNumber_ = ProtocolNumberOf(protocol);
}
