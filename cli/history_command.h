#pragma once
// `tikora-cli history`: the recorded checks and the PC clock's drift.

#include "plot/plot_input.h"

#include <QStringList>

#include <functional>
#include <iosfwd>

namespace cli {

// Writes the picture `--plot` asks for; the exit status.
using PictureWriter = std::function<int(const QString& path, const plot::PlotInput& input, std::ostream& err)>;

// Returns 0 when the history was shown (also an empty one), 1 when it could
// not be read (or, without `drawPicture`, drawn), 2 for bad usage.
int runHistoryCommand(const QStringList& args, std::ostream& out, std::ostream& err,
                      const PictureWriter& drawPicture = {});

} // namespace cli
