#include "app/history_csv.h"

#include "platform/file_system.h"
#include "platform/safe_file.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>
#include <cstdio>

namespace app {

std::string CsvField(std::string_view text)
{
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

namespace {

std::string Number(const std::optional<double>& value)
{
    if (!value || !std::isfinite(*value))
        return {};
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", *value);
    return text;
}

} // namespace

std::string HistoryCsv(const std::vector<history::CheckRecord>& records)
{
    std::string csv = "time_utc,server,address,protocol,outcome,failure_reason,offset_s,error_bound_s,delay_s,"
                      "stratum,authenticated,clock_action,step_s,clock_detail\n";
    for (const history::CheckRecord& r : records) {
        const QString time = QDateTime::fromMSecsSinceEpoch(r.timeUnixMs, QTimeZone::utc())
                                 .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
        const std::string fields[] = {
            time.toStdString(),
            CsvField(r.server),
            CsvField(r.address),
            CsvField(r.protocol),
            r.completed ? "completed" : "failed",
            CsvField(r.failureReason),
            Number(r.offsetSeconds),
            Number(r.errorBoundSeconds),
            Number(r.delaySeconds),
            r.stratum ? std::to_string(*r.stratum) : std::string(),
            r.authenticated ? "yes" : "no",
            history::ClockActionName(r.clockAction),
            Number(r.stepSeconds),
            CsvField(r.clockDetail),
        };
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            if (i > 0)
                csv += ',';
            csv += fields[i];
        }
        csv += '\n';
    }
    return csv;
}

std::string WriteHistoryCsv(const std::string& path, const std::vector<history::CheckRecord>& records)
{
    return platform::ReplaceFile(platform::PosixFileSystem(), path, HistoryCsv(records), 0644);
}

} // namespace app
