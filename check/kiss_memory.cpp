#include "check/kiss_memory.h"

#include "check/server_time_floor.h"

#include <algorithm>
#include <charconv>

namespace check {
namespace {

constexpr std::string_view kHeader = "# servers that refused access: until (unix seconds) code port host\n";
// A host or port longer than this is no name a look-up would accept; it is
// not remembered, which also keeps every line short.
constexpr std::size_t kMaxFieldBytes = 255;
constexpr std::size_t kMaxCodeBytes = 4;

bool isVisible(char c)
{
    return c > ' ' && c < 0x7F;
}

// One field a line can carry and give back: printable, no blanks, bounded.
bool isField(std::string_view text, std::size_t maxBytes)
{
    return !text.empty() && text.size() <= maxBytes && std::all_of(text.begin(), text.end(), isVisible);
}

std::string lowerCased(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// Splits off the next blank-separated word.
std::string_view nextWord(std::string_view& rest)
{
    const std::size_t start = rest.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const std::size_t end = std::min(rest.find_first_of(" \t"), rest.size());
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end);
    return word;
}

std::optional<KissEntry> parseLine(std::string_view line)
{
    std::string_view rest = line;
    const std::string_view until = nextWord(rest);
    const std::string_view code = nextWord(rest);
    const std::string_view port = nextWord(rest);
    const std::string_view host = nextWord(rest);
    if (!nextWord(rest).empty() || !isField(code, kMaxCodeBytes) || !isField(port, kMaxFieldBytes) ||
        !isField(host, kMaxFieldBytes))
        return std::nullopt;
    KissEntry entry{KissServerOf(host, port), std::string(code), 0};
    const auto [end, error] = std::from_chars(until.data(), until.data() + until.size(), entry.untilUnixSeconds);
    if (error != std::errc{} || end != until.data() + until.size() || until.empty())
        return std::nullopt;
    return entry;
}

bool sameServer(const KissServer& a, const KissServer& b)
{
    return a.host == b.host && a.port == b.port;
}

std::string clockText(std::int64_t unixSeconds)
{
    return UtcDateTimeText(unixSeconds).substr(11, 5);   // "HH:MM" of "YYYY-MM-DD HH:MM:SS"
}

} // namespace

KissServer KissServerOf(std::string_view host, std::string_view port)
{
    return {lowerCased(host), std::string(port)};
}

KissMemory KissMemory::parse(std::string_view text, std::int64_t nowUnixSeconds)
{
    KissMemory memory;
    while (!text.empty() && memory.entries_.size() < kKissMaxEntries) {
        const std::size_t newline = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(std::min(newline + 1, text.size()));
        if (line.size() > kKissMaxLineBytes || line.empty() || line.front() == '#')
            continue;
        if (line.back() == '\r')
            line.remove_suffix(1);
        if (const std::optional<KissEntry> entry = parseLine(line)) {
            // A later line for the same server is the newer word on it.
            std::erase_if(memory.entries_, [&](const KissEntry& e) { return sameServer(e.server, entry->server); });
            memory.entries_.push_back(*entry);
        }
    }
    memory.prune(nowUnixSeconds);
    return memory;
}

std::string KissMemory::format() const
{
    std::string text(kHeader);
    for (const KissEntry& entry : entries_)
        text += std::to_string(entry.untilUnixSeconds) + ' ' + entry.code + ' ' + entry.server.port + ' ' +
                entry.server.host + '\n';
    return text;
}

std::optional<KissEntry> KissMemory::heldBack(const KissServer& server, std::int64_t nowUnixSeconds) const
{
    for (const KissEntry& entry : entries_)
        if (sameServer(entry.server, server) && nowUnixSeconds < entry.untilUnixSeconds &&
            entry.untilUnixSeconds <= nowUnixSeconds + kKissHoldSeconds)
            return entry;
    return std::nullopt;
}

void KissMemory::remember(const KissServer& server, std::string_view code, std::int64_t nowUnixSeconds)
{
    prune(nowUnixSeconds);
    std::string safeCode(code.substr(0, kMaxCodeBytes));
    for (char& c : safeCode)
        if (!isVisible(c))
            c = '?';
    if (safeCode.empty())
        safeCode = "?";
    // A name that could not be written back as one word would be lost on
    // the next read anyway; such a host reaches no server either.
    if (!isField(server.host, kMaxFieldBytes) || !isField(server.port, kMaxFieldBytes))
        return;
    std::erase_if(entries_, [&](const KissEntry& e) { return sameServer(e.server, server); });
    if (entries_.size() >= kKissMaxEntries) {
        const auto soonest = std::min_element(entries_.begin(), entries_.end(), [](const KissEntry& a, const KissEntry& b) {
            return a.untilUnixSeconds < b.untilUnixSeconds;
        });
        entries_.erase(soonest);
    }
    entries_.push_back({KissServerOf(server.host, server.port), safeCode, nowUnixSeconds + kKissHoldSeconds});
}

void KissMemory::prune(std::int64_t nowUnixSeconds)
{
    std::erase_if(entries_, [&](const KissEntry& e) {
        // Compared against now + hold: a stored time may be anything, and must not overflow.
        return e.untilUnixSeconds <= nowUnixSeconds || e.untilUnixSeconds > nowUnixSeconds + kKissHoldSeconds;
    });
}

std::string HeldBackText(const KissEntry& entry)
{
    return entry.server.host + " refused access (kiss-o'-death " + entry.code + ") at " +
           clockText(entry.untilUnixSeconds - kKissHoldSeconds) + " UTC; not asked again before " +
           clockText(entry.untilUnixSeconds) + " UTC";
}

} // namespace check
