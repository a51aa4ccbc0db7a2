#pragma once
// What `tikora-cli check` prints once the answer is in: the NTP result's
// lines, and the one-object JSON form of either protocol's result or failure.
// Pure text; the check itself is elsewhere.

#include "check/answer.h"
#include "check/check_protocol.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// "Server time: 2026-01-02 03:04:05.678 UTC", offset, delay, stratum,
// reference id, leap indicator, samples and the correction, one per line.
std::vector<std::string> NtpResultLines(const check::CheckResult& result, const std::string& correction);

// "2026-01-02T03:04:05.678Z" (milliseconds, truncated).
std::string UtcText(std::int64_t unixNanoseconds, bool milliseconds);

// A JSON number of seconds, to the nanosecond: "-0.012345678".
std::string JsonSeconds(std::int64_t nanoseconds);

// A JSON string literal, quotes included; control characters escaped.
std::string JsonString(const std::string& text);

// {"protocol":"ntp","server":...,"offset":seconds,"delay":seconds,...}
std::string NtpResultJson(const check::CheckResult& result, const std::string& server, const std::string& correction);
// {"protocol":"time","transport":"tcp","server":...,"offset":whole seconds,...}
std::string Rfc868ResultJson(const check::CheckResult& result, const std::string& server, bool udp,
                             const check::Answer& answer);
// {"protocol":...,"server":...,"error":"the check's last line","detail":"why"}; no
// "detail" when there is nothing behind the line.
std::string FailureJson(const std::string& protocol, const std::string& server, const std::string& error,
                        const std::string& detail);

} // namespace cli
