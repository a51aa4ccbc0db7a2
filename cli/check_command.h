#pragma once
// `tikora-cli check`: one time check (RFC 868 or NTP) in a terminal; never sets the clock.

#include <QStringList>
#include <iosfwd>

namespace cli {

// Returns 0 for a completed check, 1 for a failed one, 2 for bad usage.
int runCheckCommand(const QStringList& args, std::ostream& out, std::ostream& err);

} // namespace cli
