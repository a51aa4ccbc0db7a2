#pragma once
// FormatDateTime with the program's patterns on a date-time value (days since
// 30 December 1899 00:00, fraction = time of day):
//   d dd m mm yy yyyy    day, month, year (m right after h/hh means minutes)
//   h hh n nn s ss z zzz hours, minutes, seconds, milliseconds
//   AM/PM am/pm A/P a/p  a 12-hour clock with that marker
//   c ddddd tt           short date + long time, short date, long time
//   / :                  the locale's date and time separators
//   "..." '...'          literal text
// The value is rounded to the millisecond first; hh, nn and ss then truncate.

#include <QString>

class QLocale;

namespace platform {

struct FormatSettings {
    QString DateSeparator = QStringLiteral("/");
    QString TimeSeparator = QStringLiteral(":");
    QString ShortDateFormat = QStringLiteral("m/d/yy");
    QString LongTimeFormat = QStringLiteral("h:nn:ss AM/PM");
    QString TimeAMString = QStringLiteral("AM");
    QString TimePMString = QStringLiteral("PM");
};

// The US settings: "/", ":", "m/d/yy", "h:nn:ss AM/PM".
FormatSettings UsFormatSettings();

// The locale's separators and formats in the patterns' syntax; the C/POSIX
// locale, which has no meaningful formats, gives the US settings.
FormatSettings FormatSettingsFromLocale(const QLocale& locale);

// FormatSettingsFromLocale(QLocale::system()).
FormatSettings SystemFormatSettings();

QString FormatDateTime(const QString& pattern, double value, const FormatSettings& settings);

} // namespace platform
