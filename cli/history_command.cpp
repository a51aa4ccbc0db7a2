#include "cli/history_command.h"

#include "cli/picture_request.h"
#include "cli/history_report.h"
#include "history/drift.h"
#include "history/history_store.h"
#include "history/record_text.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>

#include <optional>
#include <ostream>

namespace cli {
namespace {

const char* const kHistoryUsage =
    "Usage: tikora-cli history [--since YYYY-MM-DD] [--json | --csv] [--plot FILE]\n"
    "\n"
    "Shows the checks the window and tikora-cli check recorded, oldest first,\n"
    "and the PC clock's drift: its rate in parts per million from the completed\n"
    "checks since the clock was last stepped, with one standard error, and the\n"
    "offset it predicts for now. The history is kept in\n"
    "$XDG_DATA_HOME/tikora/history.sqlite (~/.local/share/tikora/).\n"
    "\n"
    "  --since YYYY-MM-DD  only the checks from that day on (local midnight)\n"
    "  --json              one JSON object: \"records\", \"drift_ppm\" and\n"
    "                      \"drift_uncertainty_ppm\" (null: not enough checks)\n"
    "  --csv               the records as CSV, one line per check\n"
    "  --plot FILE         the window's picture of the history as FILE, SVG or\n"
    "                      PNG by its extension (no display needed); the\n"
    "                      records are then printed only with --json or --csv\n"
    "\n"
    "Exit status: 0 shown, 1 the history cannot be read, 2 bad usage.\n";

enum class Format { Table, Json, Csv };

struct HistoryOptions {
    std::optional<std::int64_t> sinceUnixMs;
    Format format = Format::Table;
    std::optional<QString> plotPath;
};

// Local midnight of a calendar date, strictly YYYY-MM-DD.
std::optional<std::int64_t> localMidnight(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid())
        return std::nullopt;
    return date.startOfDay().toMSecsSinceEpoch();
}

// The options; an error line (exit 2) when they make no sense.
std::optional<std::string> parse(const QStringList& args, HistoryOptions& options)
{
    QStringList seen;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (seen.contains(arg))
            return arg.toStdString() + " is given more than once";
        seen.append(arg);
        if (arg == QLatin1String("--json") || arg == QLatin1String("--csv")) {
            if (options.format != Format::Table)
                return "--json and --csv exclude each other";
            options.format = arg == QLatin1String("--json") ? Format::Json : Format::Csv;
        } else if (arg == QLatin1String("--since")) {
            if (i + 1 >= args.size())
                return "--since needs a date (YYYY-MM-DD)";
            const QString& value = args[++i];
            options.sinceUnixMs = localMidnight(value);
            if (!options.sinceUnixMs)
                return "--since takes a date as YYYY-MM-DD, not '" + value.toStdString() + "'";
        } else if (arg == QLatin1String("--plot")) {
            if (i + 1 >= args.size())
                return "--plot needs a file name ending in .svg or .png";
            options.plotPath = args[++i];
            if (!PictureFormatOf(*options.plotPath))
                return "--plot " + options.plotPath->toStdString() + ": the picture's name must end in .svg or .png";
        } else {
            return "unknown argument " + arg.toStdString();
        }
    }
    return std::nullopt;
}

} // namespace

int runHistoryCommand(const QStringList& args, std::ostream& out, std::ostream& err, const PictureWriter& drawPicture)
{
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out << kHistoryUsage;
        return 0;
    }
    HistoryOptions options;
    if (const auto problem = parse(args, options)) {
        err << "tikora-cli history: " << *problem << "\n\n" << kHistoryUsage;
        return 2;
    }

    history::HistoryStore store(history::DefaultHistoryPath());
    if (!store.notice().empty())
        err << "tikora-cli: " << store.notice() << '\n';
    if (!store.usable()) {
        err << "tikora-cli history: " << store.error() << '\n';
        return 1;
    }
    const std::vector<history::CheckRecord> records = store.records(options.sinceUnixMs);
    if (!store.error().empty()) {
        err << "tikora-cli history: " << store.error() << '\n';
        return 1;
    }
    const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
    const auto drift = history::EstimateDrift(records, now);
    if (options.plotPath) {
        if (!drawPicture) {
            err << "tikora-cli history: --plot is drawn by its own program\n";
            return 1;
        }
        if (const int status = drawPicture(*options.plotPath, {records, drift, now}, err); status != 0)
            return status;
        if (options.format == Format::Table)
            return 0;
    }
    switch (options.format) {
    case Format::Json:
        out << HistoryJson(records, drift) << '\n';
        break;
    case Format::Csv:
        out << history::CsvOf(records);
        break;
    case Format::Table:
        out << HistoryTable(records, drift);
        break;
    }
    out << std::flush;
    return 0;
}

} // namespace cli
