#include "cli/almanac_command.h"

#include "astro/almanac_texts.h"
#include "astro/yearly_lists.h"
#include "cli/almanac_report.h"
#include "platform/date_format.h"
#include "platform/local_clock.h"
#include "platform/timezone.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

#include <cmath>
#include <optional>
#include <ostream>

namespace cli {

namespace {

constexpr int kFirstYear = 1583; // the first whole Gregorian year the routines accept
constexpr int kLastYear = 9999;
constexpr double kMinutesPerDay = 1440;

const char* const kAlmanacHelp =
    "Usage: tikora-cli almanac [--utc YYYY-MM-DDTHH:MM:SS] [--json]\n"
    "\n"
    "Print the almanac of the window's Status, Sun and Moon pages: local time,\n"
    "time zone and daylight-saving rules, the sun's distance and apparent\n"
    "diameter, the moon's age, phase, distance, ecliptic latitude and longitude\n"
    "and apparent diameter, and the last new moon, first quarter, full moon,\n"
    "last quarter and next new moon (UTC).\n"
    "\n"
    "  --utc MOMENT  compute for this UTC moment (years 1583-9999) instead of\n"
    "                now; the ecliptic position is then that of the UTC date.\n"
    "                Without it: now, UTC = local time + the zone's bias, less\n"
    "                its daylight shift in daylight time (60 minutes in most\n"
    "                zones); the ecliptic position is that of the local date.\n"
    "  --json        print the texts and every underlying number as JSON.\n"
    "\n"
    "Exit status: 0 done, 2 bad usage.\n";

const char* const kMoonsHelp =
    "Usage: tikora-cli moons [--year Y]\n"
    "\n"
    "Print the 29 new and full moons listed for year Y (1583-9999; default: the\n"
    "current year), starting with the year's first lunation, one per line as\n"
    "\"12/10/1996 - New Moon\". A phase before 12:00 UT is listed under the day\n"
    "before, as the window's list does.\n"
    "\n"
    "Exit status: 0 done, 2 bad usage.\n";

const char* const kMeteorsHelp =
    "Usage: tikora-cli meteors [--year Y]\n"
    "\n"
    "Print the peak dates of the year's meteor showers (1583-9999; default: the\n"
    "current year), one per line as \"1/3/1997  -  Quadrantids\", in date order.\n"
    "Years 150 or more from 1950 leave out the Quadrantids, Delta Aquarids and\n"
    "Geminids; a shower whose peak falls on no day of the year (the Leonids of\n"
    "a few years around 4979) is left out too.\n"
    "\n"
    "Exit status: 0 done, 2 bad usage.\n";

int Usage(std::ostream& err, const char* command, const std::string& message)
{
    err << "tikora-cli " << command << ": " << message << " (see 'tikora-cli " << command << " --help')\n";
    return 2;
}

bool IsHelp(const QString& arg)
{
    return arg == QLatin1String("--help") || arg == QLatin1String("-h");
}

// "--name value" or "--name=value"; advances i past what it used.
std::optional<QString> OptionValue(const QStringList& args, int& i, const QString& name, bool& missing)
{
    const QString& arg = args[i];
    missing = false;
    if (arg == name) {
        if (i + 1 >= args.size()) {
            missing = true;
            return std::nullopt;
        }
        return args[++i];
    }
    if (arg.startsWith(name + QLatin1Char('=')))
        return arg.mid(name.size() + 1);
    return std::nullopt;
}

std::optional<double> ParseUtc(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid() || date.year() < kFirstYear || date.year() > kLastYear)
        return std::nullopt;
    return static_cast<double>(QDate(1899, 12, 30).daysTo(date)) + time.msecsSinceStartOfDay() / 86400000.0;
}

std::optional<int> ParseYear(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\d{1,4}$"));
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    const int year = text.toInt();
    if (year < kFirstYear || year > kLastYear)
        return std::nullopt;
    return year;
}

astro::TextSeparators SeparatorsOf(const platform::FormatSettings& format)
{
    return astro::TextSeparators{format.TimeSeparator.toStdString(), format.DateSeparator.toStdString()};
}

int CurrentYear(const AlmanacEnvironment& env)
{
    return platform::FormatDateTime(QStringLiteral("yyyy"), env.clock.LocalNow(), env.format).toInt();
}

// The moons and meteors commands: [--year Y] and the lines.
int RunYearList(const char* command, const char* help, std::vector<std::string> (*list)(int), const QStringList& args,
                std::ostream& out, std::ostream& err, const AlmanacEnvironment& env)
{
    std::optional<int> year;
    for (int i = 0; i < args.size(); ++i) {
        if (IsHelp(args[i])) {
            out << help;
            return 0;
        }
        bool missing = false;
        if (const std::optional<QString> value = OptionValue(args, i, QStringLiteral("--year"), missing)) {
            year = ParseYear(*value);
            if (!year)
                return Usage(err, command, "bad year '" + value->toStdString() + "' (expected 1583-9999)");
            continue;
        }
        if (missing)
            return Usage(err, command, "--year needs a value");
        return Usage(err, command, "unknown argument '" + args[i].toStdString() + "'");
    }
    for (const std::string& line : list(year.value_or(CurrentYear(env))))
        out << line << '\n';
    return 0;
}

struct RealEnvironment {
    platform::RealSystemClock clock;
    platform::SystemTimeZone zone;
    platform::FormatSettings format = platform::SystemFormatSettings();
    AlmanacEnvironment env{clock, zone, format};
};

} // namespace

int runAlmanacCommand(const QStringList& args, std::ostream& out, std::ostream& err, const AlmanacEnvironment& env)
{
    std::optional<double> utcArgument;
    bool json = false;
    for (int i = 0; i < args.size(); ++i) {
        if (IsHelp(args[i])) {
            out << kAlmanacHelp;
            return 0;
        }
        if (args[i] == QLatin1String("--json")) {
            json = true;
            continue;
        }
        bool missing = false;
        if (const std::optional<QString> value = OptionValue(args, i, QStringLiteral("--utc"), missing)) {
            utcArgument = ParseUtc(*value);
            if (!utcArgument)
                return Usage(err, "almanac",
                             "bad moment '" + value->toStdString() + "' (expected YYYY-MM-DDTHH:MM:SS in UTC, years 1583-9999)");
            continue;
        }
        if (missing)
            return Usage(err, "almanac", "--utc needs a value");
        return Usage(err, "almanac", "unknown argument '" + args[i].toStdString() + "'");
    }

    AlmanacSnapshot s;
    // The window's start-up query gives tzState; its tick's query gives the bias.
    s.tzState = env.zone.GetTimeZoneInformation(s.zone);
    int year = 0, month = 0, day = 0;
    if (utcArgument) {
        s.utc = *utcArgument;
        const astro::CivilDate d = astro::CivilFromDayCount(static_cast<std::int64_t>(std::floor(s.utc)));
        year = d.year;
        month = d.month;
        day = d.day;
    } else {
        const double local = env.clock.LocalNow();
        s.localMoment = local;
        s.localText = platform::FormatDateTime(QStringLiteral("h:nn:ss AM/PM  m/d/yy"), local, env.format);
        s.utc = local + platform::BiasInForce(s.zone, s.tzState) * (1 / kMinutesPerDay);
        // getmoon reads the local date as the texts "yyyy", "m" and "d".
        year = platform::FormatDateTime(QStringLiteral("yyyy"), local, env.format).toInt();
        month = platform::FormatDateTime(QStringLiteral("m"), local, env.format).toInt();
        day = platform::FormatDateTime(QStringLiteral("d"), local, env.format).toInt();
    }
    s.values = astro::ComputeAlmanac(s.utc);
    s.texts = astro::FormatAlmanac(s.values, SeparatorsOf(env.format));
    s.ecliptic = astro::EclipticTextsForDate(year, month, day);
    out << (json ? AlmanacJson(s) : AlmanacText(s));
    return 0;
}

int runMoonsCommand(const QStringList& args, std::ostream& out, std::ostream& err, const AlmanacEnvironment& env)
{
    return RunYearList("moons", kMoonsHelp, &astro::NewMoons, args, out, err, env);
}

int runMeteorsCommand(const QStringList& args, std::ostream& out, std::ostream& err, const AlmanacEnvironment& env)
{
    return RunYearList("meteors", kMeteorsHelp, &astro::meteor, args, out, err, env);
}

int runAlmanacCommand(const QStringList& args, std::ostream& out, std::ostream& err)
{
    const RealEnvironment real;
    return runAlmanacCommand(args, out, err, real.env);
}

int runMoonsCommand(const QStringList& args, std::ostream& out, std::ostream& err)
{
    const RealEnvironment real;
    return runMoonsCommand(args, out, err, real.env);
}

int runMeteorsCommand(const QStringList& args, std::ostream& out, std::ostream& err)
{
    const RealEnvironment real;
    return runMeteorsCommand(args, out, err, real.env);
}

} // namespace cli
