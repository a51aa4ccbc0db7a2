#pragma once
// The earliest time a server may say it is: the day this program was built.
// A server that says 1970 or 1900 is wrong, whatever the PC's clock says, so
// no check steps the clock back before a moment known to be past. Pure.

#include <cstdint>
#include <optional>
#include <string>

namespace check {

// When this program was built, in seconds since 1970 (UTC): the source's
// date as the build saw it (SOURCE_DATE_EPOCH, else the last commit, else
// the day the build was configured).
std::int64_t BuildUnixSeconds();

// Nothing when the server's time is at or after the build; otherwise the
// line that says why the answer is refused, e.g. "the server's time
// 1970-01-01 00:00:00 UTC is before this program was built (2026-12-09):
// refused" (the caller adds ">Error: ").
std::optional<std::string> RefusalOfServerTime(std::int64_t serverUnixSeconds, std::int64_t buildUnixSeconds);

// "1970-01-01 00:00:00" and "1970-01-01", proleptic Gregorian, for any year
// from -9999 to 9999 (a server's time is anything the network sent).
std::string UtcDateTimeText(std::int64_t unixSeconds);
std::string UtcDateText(std::int64_t unixSeconds);

} // namespace check
