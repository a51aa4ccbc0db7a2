#include "cli/check_command.h"

#include <ostream>

namespace cli {

int runCheckCommand(const QStringList&, std::ostream&, std::ostream& err)
{
    err << "tikora-cli: check is not built yet\n";
    return 1;
}

} // namespace cli
