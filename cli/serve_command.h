#pragma once
// `tikora-cli serve`: an RFC 868 time service over TCP or UDP.

#include <QStringList>
#include <iosfwd>

namespace cli {

// Runs until SIGINT or SIGTERM; 0 after a clean stop, 1 when the service
// cannot start, 2 for bad usage.
int runServeCommand(const QStringList& args, std::ostream& out, std::ostream& err);

} // namespace cli
