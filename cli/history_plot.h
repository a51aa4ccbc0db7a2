#pragma once
// `tikora-cli history --plot FILE`: the window's picture of the history,
// written as SVG or PNG by the file's extension, without a display.

#include "plot/history_plot.h"

#include <QString>

#include <optional>
#include <ostream>

namespace cli {

enum class PictureFormat { Png, Svg };

// By the extension, in any case; none for any other.
std::optional<PictureFormat> PictureFormatOf(const QString& path);

// Whether the command line asks for a picture: the program then starts as a
// QGuiApplication on the offscreen platform (fonts need one), else as before.
bool WantsPicture(int argc, char** argv);
// Call before the application is made when WantsPicture.
void UseOffscreenPlatform();

// Writes the picture; exit status 0, 1 (could not write: why on `err`) or 2
// (an extension that is neither .svg nor .png).
int WriteHistoryPicture(const QString& path, const plot::PlotInput& input, std::ostream& err);

} // namespace cli
