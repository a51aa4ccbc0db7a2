#include "check/network_transport.h"

#include "check/dual_stack_transport.h"

namespace check {

std::unique_ptr<Transport> MakeNetworkTransport()
{
    return std::make_unique<DualStackTransport>();
}

} // namespace check
