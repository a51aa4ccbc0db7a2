#include "cli/port_argument.h"

#include <netdb.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

namespace cli {
namespace {

constexpr long kHighestPort = 65535;

bool looksNumeric(const std::string& text)
{
    const std::size_t start = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    return text.size() > start &&
           std::all_of(text.begin() + static_cast<long>(start), text.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

} // namespace

PortArgument ParsePortArgument(const std::string& text, bool anyPort,
                               const std::function<bool(const std::string&)>& knownService)
{
    const long lowest = anyPort ? 0 : 1;
    const std::string range = anyPort ? "a port number from 0 (any free port) to 65535" : "a port number from 1 to 65535";
    if (looksNumeric(text)) {
        long value = -1;
        const char* first = text.data() + (text[0] == '+' ? 1 : 0);
        const auto [end, status] = std::from_chars(first, text.data() + text.size(), value);
        if (status != std::errc() || end != text.data() + text.size() || value < lowest || value > kHighestPort)
            return {"", "--port " + text + " is out of range: give " + range + " or a service name"};
        return {std::to_string(value), ""};
    }
    if (text.empty() || text.size() > 64 || !knownService(text))
        return {"", "--port '" + text + "' is no known service: give " + range + " or a service name"};
    return {text, ""};
}

bool ServiceKnown(const std::string& name, bool udp)
{
    servent entry{};
    servent* found = nullptr;
    std::vector<char> scratch(4096);
    return ::getservbyname_r(name.c_str(), udp ? "udp" : "tcp", &entry, scratch.data(), scratch.size(), &found) == 0 &&
           found != nullptr;
}

} // namespace cli
