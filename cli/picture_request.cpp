#include "cli/picture_request.h"

#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#ifndef TIKORA_PICTURE_PROGRAM
#define TIKORA_PICTURE_PROGRAM "../libexec/tikora/tikora-plot"
#endif

namespace cli {

std::optional<PictureFormat> PictureFormatOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return PictureFormat::Png;
    if (suffix == QLatin1String("svg"))
        return PictureFormat::Svg;
    return std::nullopt;
}

bool WantsPicture(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "history") != 0)
        return false;
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], "--plot") == 0 || std::strncmp(argv[i], "--plot=", 7) == 0)
            return true;
    return false;
}

int HandOverPicture(char** argv, std::ostream& err)
{
    char self[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        err << "tikora-cli: --plot: cannot tell where this program lives: " << std::strerror(errno) << '\n';
        return 1;
    }
    std::string folder(self, static_cast<std::size_t>(length));
    folder.resize(folder.rfind('/') + 1);
    // Beside this program in a build folder; where it is installed otherwise.
    const std::string candidates[] = {folder + "tikora-plot", folder + TIKORA_PICTURE_PROGRAM};
    for (const std::string& program : candidates)
        if (::access(program.c_str(), X_OK) == 0) {
            ::execv(program.c_str(), argv);
            err << "tikora-cli: --plot: cannot start " << program << ": " << std::strerror(errno) << '\n';
            return 1;
        }
    err << "tikora-cli: --plot: the drawing program " << candidates[1] << " is not installed\n";
    return 1;
}

} // namespace cli
