// tikora-plot: draws `tikora-cli history --plot FILE`, the one command that
// paints. tikora-cli hands its command line over unchanged.

#include "cli/history_command.h"
#include "cli/history_plot.h"

#include "platform/guarded_application.h"

#include <QGuiApplication>
#include <iostream>

int main(int argc, char** argv)
{
    // Fonts need a painting application; offscreen, so no display is needed.
    cli::UseOffscreenPlatform();
    platform::GuardedApplication<QGuiApplication> app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tikora-cli"));
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty() || args.takeFirst() != QLatin1String("history")) {
        std::cerr << "tikora-plot: draws what 'tikora-cli history --plot FILE' asks for\n";
        return 2;
    }
    return cli::runHistoryCommand(args, std::cout, std::cerr, cli::WriteHistoryPicture);
}
