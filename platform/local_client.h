#pragma once
// The client side of a local (Unix) socket, blocking with bounds: for a
// second start that asks the running copy to show itself, before any event
// loop runs.

#include <cstddef>
#include <string>

namespace platform {

// A connected socket, or -1 when nobody accepts at `path` within the time.
int ConnectLocal(const std::string& path, int timeoutMs);
// The whole text sent within the time.
bool SendAll(int socket, const std::string& text, int timeoutMs);
// Waits for a line (up to `maxBytes`) or the peer's close, within the time;
// what the line says is not needed, only that the peer answered.
bool AwaitLine(int socket, std::size_t maxBytes, int timeoutMs);

} // namespace platform
