#pragma once
// The --port argument of check and serve: a port number in range or a known
// service name. Anything else is the user's mistake, told before any socket
// is made (a number never wraps into another port).

#include <functional>
#include <string>

namespace cli {

struct PortArgument {
    std::string port;    // what the socket layer is given; empty when refused
    std::string error;   // the usage message when refused
};

// `anyPort`: 0 ("any free port") is allowed too (serve). `knownService`
// answers whether a name is in the services table for the protocol used.
PortArgument ParsePortArgument(const std::string& text, bool anyPort,
                               const std::function<bool(const std::string&)>& knownService);

// The system's services table (/etc/services) for "tcp" or "udp".
bool ServiceKnown(const std::string& name, bool udp);

} // namespace cli
