#include "cli/history_report.h"

#include "cli/check_report.h"
#include "history/record_text.h"

#include <cmath>
#include <cstdio>

namespace cli {
namespace {

std::string formatted(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string jsonNumber(std::optional<double> value)
{
    return value ? formatted("%.9f", *value) : "null";
}

// What was done to the clock, in words.
std::string clockText(const history::CheckRecord& record)
{
    using history::ClockAction;
    switch (record.clockAction) {
    case ClockAction::Nothing:
        return "";
    case ClockAction::TimeService:
        return "left to the time service";
    case ClockAction::Stepped:
        return "stepped by " + formatted("%+.6f s", record.stepSeconds.value_or(0));
    case ClockAction::Refused:
        return "step refused: " + record.clockDetail;
    case ClockAction::Pending:
        return "step asked, no answer";
    }
    return "";
}

} // namespace

std::string HistoryJson(const std::vector<history::CheckRecord>& records,
                        const std::optional<history::DriftEstimate>& drift)
{
    std::string json = "{\"records\":[";
    json.reserve(json.size() + records.size() * 320);
    bool first = true;
    for (const history::CheckRecord& r : records) {
        json += first ? "{" : ",{";
        first = false;
        json += "\"id\":" + std::to_string(r.id);
        json += ",\"time\":" + JsonString(history::UtcIsoText(r.timeUnixMs));
        json += ",\"server\":" + JsonString(r.server);
        json += ",\"address\":" + JsonString(r.address);
        json += ",\"protocol\":" + JsonString(r.protocol);
        json += ",\"outcome\":" + JsonString(history::OutcomeName(r));
        json += ",\"reason\":" + (r.completed ? std::string("null") : JsonString(r.failureReason));
        json += ",\"offset\":" + jsonNumber(r.offsetSeconds);
        json += ",\"error_bound\":" + jsonNumber(r.errorBoundSeconds);
        json += ",\"delay\":" + jsonNumber(r.delaySeconds);
        json += ",\"stratum\":" + (r.stratum ? std::to_string(*r.stratum) : std::string("null"));
        json += std::string(",\"authenticated\":") + (r.authenticated ? "true" : "false");
        json += ",\"clock_action\":" + JsonString(history::ClockActionName(r.clockAction));
        json += ",\"step\":" + jsonNumber(r.stepSeconds);
        json += ",\"clock_detail\":" + JsonString(r.clockDetail);
        json += '}';
    }
    json += "]";
    if (drift) {
        json += ",\"drift_ppm\":" + formatted("%.6f", drift->ppm);
        json += ",\"drift_uncertainty_ppm\":" + formatted("%.6f", drift->uncertaintyPpm);
        json += ",\"drift_checks\":" + std::to_string(drift->checks);
        json += ",\"predicted_offset\":" + jsonNumber(drift->predictedOffsetNowSeconds);
    } else {
        json += ",\"drift_ppm\":null,\"drift_uncertainty_ppm\":null,\"drift_checks\":0,\"predicted_offset\":null";
    }
    return json + "}";
}

std::string HistoryTable(const std::vector<history::CheckRecord>& records,
                         const std::optional<history::DriftEstimate>& drift)
{
    std::string text;
    if (records.empty()) {
        text = "No checks recorded yet.\n";
    } else {
        text = "Time (UTC)                Protocol  Offset (s)    Bound (s)  Server\n";
        text.reserve(text.size() + records.size() * 100);
    }
    for (const history::CheckRecord& r : records) {
        char line[96];
        std::snprintf(line, sizeof line, "%-24s  %-8s  ", history::UtcIsoText(r.timeUnixMs).c_str(),
                      r.protocol.c_str());
        text += line;
        if (r.completed && r.offsetSeconds) {
            std::snprintf(line, sizeof line, "%+12.6f  %9.6f  ", *r.offsetSeconds, r.errorBoundSeconds.value_or(0));
            text += line;
        } else {
            text += "failed                   ";
        }
        text += r.server;
        if (!r.address.empty() && r.address != r.server)
            text += " (" + r.address + ")";
        if (!r.completed)
            text += ": " + r.failureReason;
        if (const std::string clock = clockText(r); !clock.empty())
            text += "; " + clock;
        text += '\n';
    }
    if (drift) {
        text += "Drift: " + formatted("%+.3f", drift->ppm) + " ppm ± " + formatted("%.3f", drift->uncertaintyPpm) +
                " ppm: the PC clock " + (drift->ppm >= 0 ? "loses " : "gains ") +
                formatted("%.3f", std::abs(drift->ppm) * 86400e-6) + " s a day (" + std::to_string(drift->checks) +
                " checks since " +
                history::UtcIsoText(drift->firstUnixMs) + "); offset predicted now: " +
                formatted("%+.6f", drift->predictedOffsetNowSeconds) + " s\n";
    } else {
        text += "Drift: not enough checks yet (three completed checks since the clock was last stepped are needed)\n";
    }
    return text;
}

} // namespace cli
