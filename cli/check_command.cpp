#include "cli/check_command.h"

#include "cli/port_argument.h"

#include "check/kiss_store.h"
#include "cli/check_recorder.h"
#include "cli/multi_time_check.h"
#include "cli/time_check.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTime>

#include <optional>
#include <ostream>

namespace cli {
namespace {

const char* const kCheckUsage =
    "Usage: tikora-cli check [--udp | --ntp [--samples N]] [--port PORT] [--timeout SECONDS]\n"
    "                        [--retries N] [--every-address] [--json] [--no-record] HOST [HOST...]\n"
    "       tikora-cli check --nts [--nts-port PORT] [--ca FILE] [--port PORT] [--samples N]\n"
    "                        [--timeout SECONDS] [--retries N] [--every-address] [--json]\n"
    "                        [--no-record] HOST [HOST...]\n"
    "\n"
    "Asks HOST for the current time with the Time protocol (RFC 868 over TCP)\n"
    "and prints the numbered log of the check, the server's time and the local\n"
    "time of day, and the correction the PC's clock would need. The clock is\n"
    "never changed.\n"
    "\n"
    "  --udp              ask over UDP: one empty datagram, one four-byte answer\n"
    "  --ntp              ask with NTP (SNTP over UDP) and print the server's time\n"
    "                     (UTC, milliseconds), the offset and round-trip delay,\n"
    "                     the server's stratum, reference id and leap indicator\n"
    "  --nts              authenticated NTP (Network Time Security): a TLS 1.3 key\n"
    "                     exchange with HOST first (its certificate checked), then\n"
    "                     NTP whose every answer must carry the server's\n"
    "                     authenticator; nothing unauthenticated is taken; with\n"
    "                     several sources each makes its own key exchange\n"
    "  --nts-port PORT    with --nts: the key exchange's TCP port (default: 4460)\n"
    "  --ca FILE          with --nts: trust the certificate(s) in FILE (PEM)\n"
    "                     instead of the system's\n"
    "  --samples N        with --ntp or --nts: N requests (1-8) at least 2 s\n"
    "                     apart; the one with the smallest delay is kept\n"
    "                     (default: 1)\n"
    "  --json             print the result (or the failure) as one JSON object on\n"
    "                     stdout, the log on stderr; offset and delay in seconds\n"
    "  --port PORT        service name or port number 1-65535 (default: time, 37;\n"
    "                     with --ntp: ntp, 123; with --nts: the one the key\n"
    "                     exchange names, else 123)\n"
    "  --timeout SECONDS  time allowed for each look-up, the connection and the\n"
    "                     answer (default: 10; 0 waits for ever)\n"
    "  --retries N        new attempts after a time-out (default: 3)\n"
    "  --every-address    ask every address of a single HOST as a source of its own\n"
    "  --no-record        keep no record of this check in the history (see\n"
    "                     tikora-cli history)\n"
    "\n"
    "Exit status: 0 when the check completed (with several sources: a majority\n"
    "agrees), 1 when it failed, 2 for bad usage.\n";

constexpr std::size_t kMaxHosts = 16;

std::optional<int> wholeNumber(const QString& text, int low, int high)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

} // namespace

int runCheckCommand(const QStringList& args, std::ostream& out, std::ostream& err)
{
    TimeCheckOptions options;
    bool record = true;
    bool portGiven = false;
    bool samplesGiven = false;
    bool ntsOnlyGiven = false;   // --nts-port or --ca
    bool everyAddress = false;
    std::vector<std::string> hosts;
    QStringList seen;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << kCheckUsage;
            return 0;
        }
        // Given twice, which one was meant is anybody's guess.
        if (arg.startsWith(QLatin1String("--"))) {
            if (seen.contains(arg)) {
                err << "tikora-cli check: " << arg.toStdString() << " is given more than once\n";
                return 2;
            }
            seen.append(arg);
        }
        if (arg == QLatin1String("--udp")) {
            options.udp = true;
            continue;
        }
        if (arg == QLatin1String("--ntp")) {
            options.ntp = true;
            continue;
        }
        if (arg == QLatin1String("--nts")) {
            options.nts = true;
            continue;
        }
        if (arg == QLatin1String("--json")) {
            options.json = true;
            continue;
        }
        if (arg == QLatin1String("--no-record")) {
            record = false;
            continue;
        }
        if (arg == QLatin1String("--every-address")) {
            everyAddress = true;
            continue;
        }
        const bool takesValue = arg == QLatin1String("--port") || arg == QLatin1String("--timeout") ||
                                arg == QLatin1String("--retries") || arg == QLatin1String("--samples") ||
                                arg == QLatin1String("--nts-port") || arg == QLatin1String("--ca");
        // An option in the value's place ("--port --json") is a value forgotten.
        if (takesValue && (i + 1 >= args.size() || args[i + 1].startsWith(QLatin1String("--")))) {
            err << "tikora-cli check: " << arg.toStdString() << " needs a value\n";
            return 2;
        }
        if (arg == QLatin1String("--port")) {
            options.port = args[++i].toStdString();
            portGiven = true;
        } else if (arg == QLatin1String("--timeout")) {
            const auto seconds = wholeNumber(args[++i], 0, 6000);
            if (!seconds) {
                err << "tikora-cli check: --timeout must be a whole number of seconds from 0 to 6000\n";
                return 2;
            }
            options.timeOutSeconds = *seconds;
        } else if (arg == QLatin1String("--retries")) {
            const auto retries = wholeNumber(args[++i], 0, 1000);
            if (!retries) {
                err << "tikora-cli check: --retries must be a whole number from 0 to 1000\n";
                return 2;
            }
            options.retries = *retries;
        } else if (arg == QLatin1String("--samples")) {
            const auto samples = wholeNumber(args[++i], 1, check::NtpProtocol::kMaxSamples);
            if (!samples) {
                err << "tikora-cli check: --samples must be a whole number from 1 to "
                    << check::NtpProtocol::kMaxSamples << "\n";
                return 2;
            }
            options.samples = *samples;
            samplesGiven = true;
        } else if (arg == QLatin1String("--nts-port")) {
            const PortArgument port = ParsePortArgument(args[++i].toStdString(), false, [](const std::string& name) {
                return ServiceKnown(name, false);
            });
            if (!port.error.empty()) {
                // The shared parser names --port; this is the other one.
                const std::string error = port.error.rfind("--port", 0) == 0 ? port.error.substr(6) : port.error;
                err << "tikora-cli check: --nts-port" << error << "\n";
                return 2;
            }
            options.ntsPort = port.port;
            ntsOnlyGiven = true;
        } else if (arg == QLatin1String("--ca")) {
            options.caFile = args[++i].toStdString();
            ntsOnlyGiven = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            err << "tikora-cli check: unknown option " << arg.toStdString() << "\n";
            return 2;
        } else {
            hosts.push_back(arg.toStdString());
        }
    }
    if (!hosts.empty())
        options.host = hosts.front();
    if (options.host.empty()) {
        err << "tikora-cli check: no HOST given\n\n" << kCheckUsage;
        return 2;
    }
    if (options.ntp && options.udp) {
        err << "tikora-cli check: --ntp and --udp exclude each other (NTP is always UDP)\n";
        return 2;
    }
    if (options.nts && (options.ntp || options.udp)) {
        err << "tikora-cli check: --nts excludes --ntp and --udp (it is authenticated NTP)\n";
        return 2;
    }
    if (samplesGiven && !options.ntp && !options.nts) {
        err << "tikora-cli check: --samples needs --ntp or --nts\n";
        return 2;
    }
    if (ntsOnlyGiven && !options.nts) {
        err << "tikora-cli check: --nts-port and --ca need --nts\n";
        return 2;
    }
    options.portGiven = portGiven;
    const bool overUdp = options.udp || options.ntp || options.nts;
    if (options.ntp && !portGiven)
        options.port = "ntp";
    if (portGiven) {
        const PortArgument port =
            ParsePortArgument(options.port, false, [&](const std::string& name) { return ServiceKnown(name, overUdp); });
        if (!port.error.empty()) {
            err << "tikora-cli check: " << port.error << "\n";
            return 2;
        }
        options.port = port.port;
    }
    // Each name may bring four sources, each its own socket.
    if (hosts.size() > kMaxHosts) {
        err << "tikora-cli check: at most " << kMaxHosts << " HOSTs may be given\n";
        return 2;
    }
    for (const std::string& host : hosts) {
        if (host.size() > 255) {
            err << "tikora-cli check: HOST is longer than 255 characters\n";
            return 2;
        }
    }
    const bool severalSources = hosts.size() > 1 || everyAddress;

    TimeCheckIo io;
    io.result = [&out](const std::string& line) { out << line << '\n' << std::flush; };
    // With --json stdout holds the one object, and nothing else.
    std::ostream& logStream = options.json ? err : out;
    io.log = [&logStream](const std::string& line) { logStream << line << '\n' << std::flush; };
    io.detail = [&err](const std::string& line) { err << "tikora-cli check: " << line << '\n'; };
    io.utcNowNanoseconds = [] { return QDateTime::currentMSecsSinceEpoch() * 1'000'000; };
    io.utcOffsetSeconds = [] { return QDateTime::currentDateTime().offsetFromUtc(); };
    io.formatTime = [](int secondsOfDay) {
        return QTime::fromMSecsSinceStartOfDay(secondsOfDay * 1000).toString(QStringLiteral("HH:mm:ss")).toStdString();
    };
    if (record)
        io.record = RecordInHistory(err);

    try {
        check::FileKissStore kissStore;
        int status = 1;
        const auto finished = [&status](TimeCheck::Outcome outcome) {
            status = outcome == TimeCheck::Outcome::Completed ? 0 : 1;
            QCoreApplication::exit(status);
        };
        if (severalSources) {
            MultiTimeCheck check(options, hosts, io, {nullptr, {}, &kissStore});
            check.start(finished);
            if (check.outcome() == TimeCheck::Outcome::Running)
                QCoreApplication::exec();
            return status;
        }
        TimeCheck check(options, io, {nullptr, nullptr, &kissStore});
        check.start(finished);
        if (check.outcome() == TimeCheck::Outcome::Running)
            QCoreApplication::exec();
        return status;
    } catch (const std::exception& error) {
        err << "tikora-cli check: " << error.what() << '\n';
        return 1;
    }
}

} // namespace cli
