#include "cli/multi_report.h"

#include "check/ntp_protocol.h"
#include "cli/check_report.h"

namespace cli {
namespace {
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int64_t kSecondsPerDay = 86400;

int secondsOfDay(std::int64_t localNs)
{
    std::int64_t seconds = localNs / kNanosecondsPerSecond - (localNs % kNanosecondsPerSecond < 0);
    seconds %= kSecondsPerDay;
    return static_cast<int>(seconds < 0 ? seconds + kSecondsPerDay : seconds);
}

std::string sourceJson(const check::SourceEnd& source, check::Verdict verdict)
{
    std::string json = "{\"server\":" + JsonString(source.server) + ",\"address\":" + JsonString(source.address);
    if (source.result && source.result->ntp) {
        json += ",\"offset\":" + JsonSeconds(source.result->ntp->offsetNs) +
                ",\"delay\":" + JsonSeconds(source.result->ntp->delayNs) +
                ",\"stratum\":" + std::to_string(source.result->ntp->stratum);
    } else if (source.result) {
        // The Time protocol has whole seconds, and neither delay nor stratum.
        json += ",\"offset\":" + std::to_string(source.answer.offsetNs / kNanosecondsPerSecond) +
                ",\"delay\":null,\"stratum\":null";
    }
    if (source.result && source.result->authenticated)
        json += ",\"authenticated\":true";
    json += ",\"verdict\":" + JsonString(check::VerdictText(verdict));
    if (!source.result)
        json += ",\"error\":" + JsonString(source.failure.reason);
    return json + "}";
}

std::string sourcesJson(const check::MultiSourceResult& result)
{
    std::string json = "[";
    for (std::size_t i = 0; i < result.sources.size(); ++i)
        json += (i ? "," : "") + sourceJson(result.sources[i], result.selection.verdicts[i]);
    return json + "]";
}
} // namespace

std::vector<std::string> MultiResultLines(const check::MultiSourceResult& result, bool ntp,
                                          const std::function<std::string(int secondsOfDay)>& formatTime)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < result.sources.size(); ++i)
        lines.push_back(std::to_string(result.sources[i].number) + " " + check::SourceLabel(result.sources[i]) + ": " +
                        check::VerdictText(result.selection.verdicts[i]));
    const check::SourceEnd* selected = result.selected();
    if (!result.combined || !selected) {
        lines.push_back(check::SeveralSourcesFailure(result));
        return lines;
    }
    lines.push_back("Agreeing:    " + std::to_string(result.selection.agreeing) + " of " +
                    std::to_string(result.selection.answered) + " that answered");
    const check::Answer& combined = *result.combined;
    if (ntp) {
        for (const std::string& line : NtpResultLines(*selected->result, combined.caption))
            lines.push_back(line);
        lines.push_back("Error bound: " + check::SecondsText(combined.errorBoundNs, false) + " s");
    } else {
        // The selected answer's own moment: the server's time and the PC's belong together.
        lines.push_back("Server time: " + formatTime(combined.serverSecondsOfDay));
        lines.push_back("Local time:  " + formatTime(secondsOfDay(combined.localNowNs)));
        lines.push_back("Correction:  " + combined.caption);
    }
    return lines;
}

std::string MultiResultJson(const check::MultiSourceResult& result, bool ntp, bool udp, bool nts)
{
    const std::string protocol = nts ? "nts" : ntp ? "ntp" : "time";
    const check::SourceEnd* selected = result.selected();
    if (!result.combined || !selected)
        return "{\"protocol\":" + JsonString(protocol) + ",\"error\":" + JsonString(check::SeveralSourcesFailure(result)) +
               ",\"sources\":" + sourcesJson(result) + "}";
    std::string json = ntp ? NtpResultJson(*selected->result, selected->address, result.combined->caption)
                           : Rfc868ResultJson(*selected->result, selected->address, udp, *result.combined);
    json.pop_back();   // the closing brace: the sources join the one object
    return json + ",\"error_bound\":" + JsonSeconds(result.combined->errorBoundNs) +
           ",\"agreeing\":" + std::to_string(result.selection.agreeing) + ",\"sources\":" + sourcesJson(result) + "}";
}

} // namespace cli
