#pragma once
// The transport the programs use: every address of a name, IPv6 and IPv4.

#include "check/transport.h"

#include <memory>

namespace check {

std::unique_ptr<Transport> MakeNetworkTransport();

} // namespace check
