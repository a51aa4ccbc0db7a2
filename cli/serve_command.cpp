#include "cli/serve_command.h"

#include "cli/port_argument.h"
#include "cli/time_service.h"
#include "net/sock_error.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <optional>
#include <ostream>
#include <unistd.h>

namespace cli {
namespace {

const char* const kServeUsage =
    "Usage: tikora-cli serve [--bind ADDR] [--port PORT] [--udp] [--max-connections N]\n"
    "\n"
    "Runs a Time protocol service (RFC 868): each TCP connection gets the four\n"
    "bytes of the current time and is closed; with --udp, each datagram gets a\n"
    "four-byte datagram back. Logs one line per client. Stops on Ctrl-C or SIGTERM.\n"
    "\n"
    "  --bind ADDR          address to listen on (default: 127.0.0.1); :: takes every\n"
    "                       IPv6 and IPv4 address, ::1 IPv6 loopback only\n"
    "  --port PORT          service name or port number 1-65535, or 0 for any free\n"
    "                       port (default: time, port 37, which needs root or\n"
    "                       cap_net_bind_service)\n"
    "  --udp                answer datagrams instead of connections\n"
    "  --max-connections N  connections kept at once; more are refused (default: 16)\n";

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int runServeCommand(const QStringList& args, std::ostream& out, std::ostream& err)
{
    TimeServiceOptions options;
    bool portGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << kServeUsage;
            return 0;
        }
        if (arg == QLatin1String("--udp")) {
            options.udp = true;
            continue;
        }
        const bool takesValue = arg == QLatin1String("--bind") || arg == QLatin1String("--port") ||
                                arg == QLatin1String("--max-connections");
        if (!takesValue) {
            err << "tikora-cli serve: unknown argument " << arg.toStdString() << "\n";
            return 2;
        }
        if (i + 1 >= args.size()) {
            err << "tikora-cli serve: " << arg.toStdString() << " needs a value\n";
            return 2;
        }
        const QString value = args[++i];
        if (arg == QLatin1String("--bind")) {
            options.bindAddress = value.toStdString();
        } else if (arg == QLatin1String("--port")) {
            options.port = value.toStdString();
            portGiven = true;
        } else {
            bool ok = false;
            options.maxConnections = value.toInt(&ok);
            if (!ok || options.maxConnections < 1 || options.maxConnections > 100000) {
                err << "tikora-cli serve: --max-connections must be a whole number from 1 to 100000\n";
                return 2;
            }
        }
        if (value.isEmpty() || value.size() > 255) {
            err << "tikora-cli serve: " << arg.toStdString() << " needs a value of 1 to 255 characters\n";
            return 2;
        }
    }

    if (portGiven) {
        const PortArgument port =
            ParsePortArgument(options.port, true, [&](const std::string& name) { return ServiceKnown(name, options.udp); });
        if (!port.error.empty()) {
            err << "tikora-cli serve: " << port.error << "\n";
            return 2;
        }
        options.port = port.port;
    }

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        err << "tikora-cli serve: cannot watch for signals\n";
        return 1;
    }
    QSocketNotifier signalWatch(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalWatch, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    try {
        TimeService service(options, [&out](const std::string& line) { out << line << '\n' << std::flush; });
        bool numeric = false;
        QString::fromStdString(options.port).toInt(&numeric);
        if (!numeric && service.server().PortNumber() == 0) {
            err << "tikora-cli serve: unknown service '" << options.port << "'\n";
            return 1;
        }
        service.start();
        out << "Serving the time over " << (options.udp ? "UDP" : "TCP") << " on " << options.bindAddress
            << " port " << service.localPort() << '\n'
            << std::flush;
        QCoreApplication::exec();
        out << "Stopped after " << service.answered() << " answers\n";
        return 0;
    } catch (const std::exception& error) {
        err << "tikora-cli serve: " << error.what() << '\n';
        return 1;
    }
}

} // namespace cli
