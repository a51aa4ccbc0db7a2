#include "cli/almanac_command.h"

#include <ostream>

namespace cli {

int runAlmanacCommand(const QStringList&, std::ostream&, std::ostream& err)
{
    err << "tikora-cli: almanac is not built yet\n";
    return 1;
}
int runMoonsCommand(const QStringList& args, std::ostream& out, std::ostream& err) { return runAlmanacCommand(args, out, err); }
int runMeteorsCommand(const QStringList& args, std::ostream& out, std::ostream& err) { return runAlmanacCommand(args, out, err); }

} // namespace cli
