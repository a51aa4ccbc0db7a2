// tikora-cli: Tikora's jobs in a terminal, without a window.

#include "cli/almanac_command.h"
#include "cli/check_command.h"
#include "cli/history_command.h"
#include "cli/picture_request.h"
#include "cli/serve_command.h"

#include "platform/guarded_application.h"

#include <QCoreApplication>
#include <iostream>

namespace {

const char* const kUsage =
    "Usage: tikora-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  check [--udp | --ntp [--samples N]] [--port PORT] [--timeout SECONDS]\n"
    "        [--retries N] [--json] [--no-record] HOST\n"
    "      Ask HOST for the time with the Time protocol (RFC 868, TCP) or NTP and\n"
    "      show the server's time, the local time (or the offset and delay) and\n"
    "      the correction. Never sets the clock. Exit status: 0 completed,\n"
    "      1 failed, 2 bad usage. Each check is kept in the history.\n"
    "  history [--since YYYY-MM-DD] [--json | --csv] [--plot FILE]\n"
    "      The recorded checks and the PC clock's drift (ppm) since its last step.\n"
    "  serve [--bind ADDR] [--port PORT] [--udp] [--max-connections N]\n"
    "      Run a Time protocol service (RFC 868) over TCP or UDP.\n"
    "  almanac [--utc YYYY-MM-DDTHH:MM:SS] [--json]\n"
    "      The moon and sun almanac for now (or for the given UTC moment).\n"
    "  moons [--year Y]\n"
    "      The year's new and full moons.\n"
    "  meteors [--year Y]\n"
    "      The year's meteor showers.\n"
    "\n"
    "Run 'tikora-cli COMMAND --help' for a command's details.\n";

} // namespace

int main(int argc, char** argv)
{
    // A picture is painted by a program of its own: every other command
    // starts without the libraries painting needs.
    if (cli::WantsPicture(argc, argv))
        return cli::HandOverPicture(argv, std::cerr);
    // Errors that escape a handler are reported on stderr, never thrown through Qt.
    platform::GuardedApplication<QCoreApplication> app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tikora-cli"));

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.isEmpty()) {
        std::cerr << kUsage;
        return 2;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        std::cout << kUsage;
        return 0;
    }
    if (command == QLatin1String("check"))
        return cli::runCheckCommand(args, std::cout, std::cerr);
    if (command == QLatin1String("history"))
        return cli::runHistoryCommand(args, std::cout, std::cerr);
    if (command == QLatin1String("serve"))
        return cli::runServeCommand(args, std::cout, std::cerr);
    if (command == QLatin1String("almanac"))
        return cli::runAlmanacCommand(args, std::cout, std::cerr);
    if (command == QLatin1String("moons"))
        return cli::runMoonsCommand(args, std::cout, std::cerr);
    if (command == QLatin1String("meteors"))
        return cli::runMeteorsCommand(args, std::cout, std::cerr);

    std::cerr << "tikora-cli: unknown command '" << command.toStdString() << "'\n\n" << kUsage;
    return 2;
}
