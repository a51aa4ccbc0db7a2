#include "net/sock_ctrl.h"

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

void ClassifyAddress(const std::string& text, std::string& hostName, std::string& ipText)
{
    const std::string dotted = text.substr(0, kDottedParserLimit);
    if (WinsockAPI().inet_addr(dotted.c_str()) != ws::INADDR_NONE_) {
        ipText = text;
        hostName.clear();
    } else {
        hostName = text;
        ipText.clear();
    }
}

void TSockCtrl::SetAddress(const std::string& address)
{
    address_ = address;
    ClassifyAddress(address, hostName_, ipText_);
}

void TSockCtrl::SetPort(const std::string& port)
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

void TSockCtrl::SetProtocol(const std::string& protocol)
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
