#pragma once
// `tikora-cli almanac | moons | meteors`: the almanac in a terminal.

#include <QStringList>
#include <iosfwd>

namespace cli {

// Each takes the arguments after the command word and returns the exit
// status: 0 done, 2 bad usage.
int runAlmanacCommand(const QStringList& args, std::ostream& out, std::ostream& err);
int runMoonsCommand(const QStringList& args, std::ostream& out, std::ostream& err);
int runMeteorsCommand(const QStringList& args, std::ostream& out, std::ostream& err);

} // namespace cli
