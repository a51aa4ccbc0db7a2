#pragma once
// `tikora-cli history`: the recorded checks and the PC clock's drift.

#include <QStringList>
#include <iosfwd>

namespace cli {

// Returns 0 when the history was shown (also an empty one), 1 when it could
// not be read, 2 for bad usage.
int runHistoryCommand(const QStringList& args, std::ostream& out, std::ostream& err);

} // namespace cli
