#pragma once
// The asynchronous host and service look-ups of WSAAsyncGetHostByName and
// WSAAsyncGetServByName/Port: start-up and clean-up hooks for WSAStartup.

namespace platform::ws::detail {

// Creates the hidden window through which workers hand their results back.
void startLookups();
// Cancels every pending request and removes that window.
void stopLookups();

} // namespace platform::ws::detail
