#pragma once
// Which servers refused us access (kiss-o'-death DENY or RSTR) and until
// when they are not asked again, as the text kept in the user's state
// folder. Pure: text in, text out, the time given by the caller. Whatever
// the file holds (a truncated write, a hand edit, another program's bytes)
// reads as the entries it can make sense of, bounded in count and size.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace check {

// How long a server that refused access is left alone.
constexpr std::int64_t kKissHoldSeconds = 3600;
// Bounds of what is read and kept: the file stays far below a state file's 64 KiB.
constexpr std::size_t kKissMaxEntries = 256;
constexpr std::size_t kKissMaxLineBytes = 512;

// A server as the user named it: the host lower-cased (names match without
// regard to case), the port as given.
struct KissServer {
    std::string host;
    std::string port;
};

KissServer KissServerOf(std::string_view host, std::string_view port);

struct KissEntry {
    KissServer server;
    std::string code;                    // "DENY", "RSTR"
    std::int64_t untilUnixSeconds = 0;   // asked again from this second on
};

class KissMemory {
public:
    // Lines of "UNTIL CODE PORT HOST"; '#' lines, blank lines, lines over
    // kKissMaxLineBytes and lines that do not parse are skipped; at most
    // kKissMaxEntries are kept. Entries that no longer hold at `now` are dropped.
    static KissMemory parse(std::string_view text, std::int64_t nowUnixSeconds);
    std::string format() const;

    // The entry that keeps this server from being asked at `now`, if any.
    std::optional<KissEntry> heldBack(const KissServer& server, std::int64_t nowUnixSeconds) const;
    // The server is not asked again for kKissHoldSeconds from `now`; a
    // server already held gets the new code and time. The oldest entries
    // make room when the memory is full.
    void remember(const KissServer& server, std::string_view code, std::int64_t nowUnixSeconds);

    const std::vector<KissEntry>& entries() const { return entries_; }

private:
    // Drops the expired and, after the clock went back by more than the
    // hold, those that would otherwise hold a server for ever.
    void prune(std::int64_t nowUnixSeconds);

    std::vector<KissEntry> entries_;
};

// The line of a check that is held back, e.g. "pool.example refused access
// (kiss-o'-death DENY) at 14:02 UTC; not asked again before 15:02 UTC".
std::string HeldBackText(const KissEntry& entry);

} // namespace check
