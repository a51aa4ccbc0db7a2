#pragma once
// The drawing program behind `tikora-cli history --plot FILE`: the window's
// picture of the history, written as SVG or PNG by the file's extension,
// without a display.

#include "plot/plot_input.h"

#include <QString>

#include <ostream>

namespace cli {

// Call before the application is made: a terminal program draws into memory
// only and must not need a display.
void UseOffscreenPlatform();

// Writes the picture; exit status 0, 1 (could not write: why on `err`) or 2
// (an extension that is neither .svg nor .png).
int WriteHistoryPicture(const QString& path, const plot::PlotInput& input, std::ostream& err);

} // namespace cli
