#include "platform/date_format.h"

#include <QDate>
#include <QLocale>

#include <cmath>
#include <cstdint>

namespace platform {

namespace {

constexpr std::int64_t kMillisecondsPerDay = 86400000;
const QDate kDateZero(1899, 12, 30);

struct DecodedDateTime {
    QDate date;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

DecodedDateTime Decode(double value)
{
    // As the framework does: round the whole value to the millisecond, split
    // into days (toward zero) and the time of day.
    const auto ms = static_cast<std::int64_t>(std::nearbyint(value * kMillisecondsPerDay));
    const std::int64_t days = ms / kMillisecondsPerDay;
    const std::int64_t time = (ms < 0 ? -ms : ms) % kMillisecondsPerDay;
    DecodedDateTime d;
    d.date = kDateZero.addDays(days);
    d.hour = static_cast<int>(time / 3600000);
    d.minute = static_cast<int>(time / 60000 % 60);
    d.second = static_cast<int>(time / 1000 % 60);
    d.millisecond = static_cast<int>(time % 1000);
    return d;
}

QString Padded(int n, int width)
{
    return QStringLiteral("%1").arg(n, width, 10, QLatin1Char('0'));
}

int CountRun(const QString& s, int i, QChar c)
{
    int n = 0;
    while (i + n < s.size() && s[i + n].toLower() == c)
        ++n;
    return n;
}

bool HasAmPm(const QString& pattern)
{
    const QString lower = pattern.toLower();
    return lower.contains(QLatin1String("am/pm")) || lower.contains(QLatin1String("a/p"));
}

// Recursive for c, ddddd and tt, which expand to the settings' formats.
void Append(QString& out, const QString& pattern, const DecodedDateTime& d, const FormatSettings& fs, int depth)
{
    const bool twelveHour = HasAmPm(pattern);
    bool afterHour = false; // "m" right after an hour means minutes
    int i = 0;
    while (i < pattern.size()) {
        const QChar c = pattern[i];
        const QChar lc = c.toLower();
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const int end = pattern.indexOf(c, i + 1);
            const int stop = end < 0 ? pattern.size() : end;
            out += pattern.mid(i + 1, stop - i - 1);
            i = stop + 1;
            continue;
        }
        if (pattern.mid(i, 5).compare(QLatin1String("am/pm"), Qt::CaseInsensitive) == 0) {
            const QString marker = d.hour < 12 ? fs.TimeAMString : fs.TimePMString;
            out += pattern.mid(i, 5) == QLatin1String("am/pm") ? marker.toLower() : marker;
            i += 5;
            continue;
        }
        if (pattern.mid(i, 3).compare(QLatin1String("a/p"), Qt::CaseInsensitive) == 0) {
            const QString marker = d.hour < 12 ? QStringLiteral("a") : QStringLiteral("p");
            out += c == QLatin1Char('A') ? marker.toUpper() : marker;
            i += 3;
            continue;
        }
        if (c == QLatin1Char('/')) {
            out += fs.DateSeparator;
            ++i;
            continue;
        }
        if (c == QLatin1Char(':')) {
            out += fs.TimeSeparator;
            ++i;
            continue;
        }
        const int n = CountRun(pattern, i, lc);
        if (lc == QLatin1Char('c') && depth < 2) {
            Append(out, fs.ShortDateFormat, d, fs, depth + 1);
            out += QLatin1Char(' ');
            Append(out, fs.LongTimeFormat, d, fs, depth + 1);
            i += 1;
        } else if (lc == QLatin1Char('d')) {
            if (n >= 5 && depth < 2)
                Append(out, fs.ShortDateFormat, d, fs, depth + 1);
            else
                out += n >= 2 ? Padded(d.date.day(), 2) : QString::number(d.date.day());
            i += n >= 5 ? 5 : std::min(n, 2);
        } else if (lc == QLatin1Char('m')) {
            const int used = std::min(n, 2);
            const int value = afterHour ? d.minute : d.date.month();
            out += used == 2 ? Padded(value, 2) : QString::number(value);
            afterHour = false;
            i += used;
            continue;
        } else if (lc == QLatin1Char('y')) {
            out += n >= 3 ? Padded(d.date.year(), 4) : Padded(d.date.year() % 100, 2);
            i += n;
        } else if (lc == QLatin1Char('h')) {
            int hour = d.hour;
            if (twelveHour) {
                hour %= 12;
                if (hour == 0)
                    hour = 12;
            }
            const int used = std::min(n, 2);
            out += used == 2 ? Padded(hour, 2) : QString::number(hour);
            i += used;
            afterHour = true;
            continue;
        } else if (lc == QLatin1Char('n')) {
            const int used = std::min(n, 2);
            out += used == 2 ? Padded(d.minute, 2) : QString::number(d.minute);
            i += used;
        } else if (lc == QLatin1Char('s')) {
            const int used = std::min(n, 2);
            out += used == 2 ? Padded(d.second, 2) : QString::number(d.second);
            i += used;
        } else if (lc == QLatin1Char('z')) {
            const int used = n >= 3 ? 3 : 1;
            out += used == 3 ? Padded(d.millisecond, 3) : QString::number(d.millisecond);
            i += used;
        } else if (lc == QLatin1Char('t') && n >= 2 && depth < 2) {
            Append(out, fs.LongTimeFormat, d, fs, depth + 1);
            i += 2;
        } else {
            // Separators and other literal characters keep the "after an hour" state.
            out += c;
            ++i;
            continue;
        }
        if (lc != QLatin1Char('h'))
            afterHour = false;
    }
}

// Qt's format syntax to the patterns': M -> m, m -> n, AP/ap -> AM/PM, t and
// the spaces around it dropped, the first separator of each kind noted.
QString FromQtFormat(const QString& qt, bool time, QString& separator)
{
    QString out;
    int i = 0;
    while (i < qt.size()) {
        const QChar c = qt[i];
        if (c == QLatin1Char('\'')) {
            const int end = qt.indexOf(QLatin1Char('\''), i + 1);
            const int stop = end < 0 ? qt.size() : end;
            out += QLatin1Char('"') + qt.mid(i + 1, stop - i - 1) + QLatin1Char('"');
            i = stop + 1;
            continue;
        }
        int n = 1;
        while (i + n < qt.size() && qt[i + n] == c)
            ++n;
        const QString run = qt.mid(i, n);
        if (c == QLatin1Char('M'))
            out += QString(std::min(n, 2), QLatin1Char('m'));
        else if (c == QLatin1Char('m'))
            out += QString(std::min(n, 2), QLatin1Char('n'));
        else if (c == QLatin1Char('H') || c == QLatin1Char('h'))
            out += QString(std::min(n, 2), QLatin1Char('h'));
        else if (c == QLatin1Char('d') || c == QLatin1Char('y') || c == QLatin1Char('s'))
            out += run;
        else if (c == QLatin1Char('A') || c == QLatin1Char('a')) {
            out += QLatin1String("AM/PM");
            if (i + 1 < qt.size() && (qt[i + 1] == QLatin1Char('P') || qt[i + 1] == QLatin1Char('p')))
                ++n;
        } else if (c == QLatin1Char('t') || c == QLatin1Char('z')) {
            // The zone name and milliseconds are not shown.
        } else if (c.isLetter()) {
            out += run;
        } else {
            if (separator.isEmpty() && c != QLatin1Char(' '))
                separator = QString(c);
            if (!separator.isEmpty() && c == separator.at(0))
                out += QString(n, time ? QLatin1Char(':') : QLatin1Char('/'));
            else
                out += run;
        }
        i += n;
    }
    return out.trimmed();
}

} // namespace

FormatSettings UsFormatSettings()
{
    return FormatSettings{};
}

FormatSettings FormatSettingsFromLocale(const QLocale& locale)
{
    if (locale.language() == QLocale::C)
        return UsFormatSettings();
    FormatSettings fs;
    QString dateSeparator, timeSeparator;
    fs.ShortDateFormat = FromQtFormat(locale.dateFormat(QLocale::ShortFormat), false, dateSeparator);
    fs.LongTimeFormat = FromQtFormat(locale.timeFormat(QLocale::LongFormat), true, timeSeparator);
    if (!dateSeparator.isEmpty())
        fs.DateSeparator = dateSeparator;
    if (!timeSeparator.isEmpty())
        fs.TimeSeparator = timeSeparator;
    if (!locale.amText().isEmpty())
        fs.TimeAMString = locale.amText();
    if (!locale.pmText().isEmpty())
        fs.TimePMString = locale.pmText();
    return fs;
}

FormatSettings SystemFormatSettings()
{
    return FormatSettingsFromLocale(QLocale::system());
}

QString FormatDateTime(const QString& pattern, double value, const FormatSettings& settings)
{
    QString out;
    Append(out, pattern, Decode(value), settings, 0);
    return out;
}

} // namespace platform
