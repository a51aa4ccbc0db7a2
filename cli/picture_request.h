#pragma once
// `tikora-cli history --plot FILE` is drawn by a program of its own, so that
// every other command starts without the libraries painting needs. This part
// knows a picture's format and hands the command line over to that program.

#include <QString>

#include <optional>
#include <ostream>

namespace cli {

enum class PictureFormat { Png, Svg };

// By the extension, in any case; none for any other.
std::optional<PictureFormat> PictureFormatOf(const QString& path);

// Whether the command line asks for a picture.
bool WantsPicture(int argc, char** argv);

// Runs the drawing program in this process's place with the same command
// line. Returns only when it could not: exit status 1, why on `err`.
int HandOverPicture(char** argv, std::ostream& err);

} // namespace cli
