#include "cli/check_report.h"

#include "check/ntp_protocol.h"

#include <QDateTime>
#include <QTimeZone>

#include <cstdio>

namespace cli {
namespace {

constexpr std::int64_t kNanosecondsPerMillisecond = 1'000'000;

constexpr const char* kLeapMeanings[] = {
    "no warning",
    "the last minute of the day has 61 seconds",
    "the last minute of the day has 59 seconds",
    "not synchronised",
};

std::string leapText(int leap)
{
    if (leap < 0 || leap > 3)
        return std::to_string(leap);
    return std::to_string(leap) + " (" + kLeapMeanings[leap] + ")";
}

std::int64_t floorMilliseconds(std::int64_t nanoseconds)
{
    const std::int64_t ms = nanoseconds / kNanosecondsPerMillisecond;
    return nanoseconds % kNanosecondsPerMillisecond < 0 ? ms - 1 : ms;
}

// A JSON number of seconds, to the nanosecond.
std::string secondsNumber(std::int64_t nanoseconds)
{
    const bool negative = nanoseconds < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(nanoseconds) : static_cast<std::uint64_t>(nanoseconds);
    char text[48];
    std::snprintf(text, sizeof text, "%s%llu.%09llu", negative ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 1'000'000'000),
                  static_cast<unsigned long long>(magnitude % 1'000'000'000));
    return text;
}

std::string field(const char* name, const std::string& jsonValue)
{
    return JsonString(name) + ":" + jsonValue;
}

} // namespace

std::string JsonSeconds(std::int64_t nanoseconds)
{
    return secondsNumber(nanoseconds);
}

std::string UtcText(std::int64_t unixNanoseconds, bool milliseconds)
{
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(floorMilliseconds(unixNanoseconds), QTimeZone::utc());
    const QString format = milliseconds ? QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ") : QStringLiteral("yyyy-MM-ddTHH:mm:ssZ");
    return moment.toString(format).toStdString();
}

std::vector<std::string> NtpResultLines(const check::CheckResult& result, const std::string& correction)
{
    const check::NtpReading reading = result.ntp.value_or(check::NtpReading{});
    std::string server = UtcText(result.serverUnixNanoseconds, true);
    // The log's reader wants a date and a time, not ISO's 'T' and 'Z'.
    server[10] = ' ';
    server.back() = ' ';
    server += "UTC";
    std::vector<std::string> lines = {
        "Server time: " + server,
        "Offset:      " + check::SecondsText(reading.offsetNs, true) + " s",
        "Delay:       " + check::SecondsText(reading.delayNs, false) + " s",
        "Stratum:     " + std::to_string(reading.stratum),
        "Reference:   " + reading.referenceId,
        "Leap:        " + leapText(reading.leap),
        "Samples:     " + std::to_string(reading.samples),
        "Correction:  " + correction,
    };
    if (result.authenticated)
        lines.insert(lines.end() - 1, "Authenticated: yes (NTS)");
    return lines;
}

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string NtpResultJson(const check::CheckResult& result, const std::string& server, const std::string& correction)
{
    const check::NtpReading reading = result.ntp.value_or(check::NtpReading{});
    return "{" + field("protocol", JsonString(result.authenticated ? "nts" : "ntp")) + "," +
           (result.authenticated ? field("authenticated", "true") + "," : std::string()) +
           field("server", JsonString(server)) + "," +
           field("server_time", JsonString(UtcText(result.serverUnixNanoseconds, true))) + "," +
           field("offset", secondsNumber(reading.offsetNs)) + "," + field("delay", secondsNumber(reading.delayNs)) +
           "," + field("stratum", std::to_string(reading.stratum)) + "," +
           field("refid", JsonString(reading.referenceId)) + "," + field("leap", std::to_string(reading.leap)) + "," +
           field("samples", std::to_string(reading.samples)) + "," +
           field("correction", JsonString(correction)) + "}";
}

std::string Rfc868ResultJson(const check::CheckResult& result, const std::string& server, bool udp,
                             const check::Answer& answer)
{
    const std::int64_t offsetSeconds = answer.offsetNs / 1'000'000'000;
    return "{" + field("protocol", JsonString("time")) + "," + field("transport", JsonString(udp ? "udp" : "tcp")) +
           "," + field("server", JsonString(server)) + "," +
           field("server_time", JsonString(UtcText(result.serverUnixNanoseconds, false))) + "," +
           field("offset", std::to_string(offsetSeconds)) + "," + field("correction", JsonString(answer.caption)) + "}";
}

std::string FailureJson(const std::string& protocol, const std::string& server, const std::string& error,
                        const std::string& detail)
{
    return "{" + field("protocol", JsonString(protocol)) + "," + field("server", JsonString(server)) + "," +
           field("error", JsonString(error)) + (detail.empty() ? "" : "," + field("detail", JsonString(detail))) +
           "}";
}

} // namespace cli
