#include "history/record_text.h"

#include <cstdio>
#include <ctime>

namespace history {
namespace {

std::string csvField(const std::string& text)
{
    if (text.find_first_of(",\"\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string number(std::optional<double> value)
{
    if (!value)
        return {};
    char text[40];
    std::snprintf(text, sizeof text, "%.9f", *value);
    return text;
}

} // namespace

std::string UtcIsoText(std::int64_t unixMs)
{
    std::int64_t seconds = unixMs / 1000;
    std::int64_t ms = unixMs % 1000;
    if (ms < 0) {
        ms += 1000;
        --seconds;
    }
    const std::time_t moment = static_cast<std::time_t>(seconds);
    std::tm parts{};
    ::gmtime_r(&moment, &parts);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, int(ms));
    return text;
}

const char* OutcomeName(const CheckRecord& record)
{
    return record.completed ? "completed" : "failed";
}

std::string CsvOf(const std::vector<CheckRecord>& records)
{
    std::string csv = "time,server,address,protocol,outcome,reason,offset,error_bound,delay,stratum,authenticated,"
                      "clock_action,step,clock_detail\n";
    csv.reserve(csv.size() + records.size() * 128);
    for (const CheckRecord& r : records) {
        csv += UtcIsoText(r.timeUnixMs) + ',' + csvField(r.server) + ',' + csvField(r.address) + ',' +
               csvField(r.protocol) + ',' + OutcomeName(r) + ',' + csvField(r.failureReason) + ',' +
               number(r.offsetSeconds) + ',' + number(r.errorBoundSeconds) + ',' + number(r.delaySeconds) + ',' +
               (r.stratum ? std::to_string(*r.stratum) : std::string()) + ',' + (r.authenticated ? "true" : "false") +
               ',' + ClockActionName(r.clockAction) + ',' + number(r.stepSeconds) + ',' + csvField(r.clockDetail) +
               "\n";
    }
    return csv;
}

} // namespace history
