#pragma once
// The built-in lists of time servers, one per protocol the check speaks: hosts
// that answer the Time protocol (RFC 868) on TCP port 37, and hosts that
// answer NTP on UDP port 123, and hosts that run an authenticated time (NTS)
// key exchange on TCP port 4460. The first of each is its default server.

#include <array>
#include <span>
#include <string>
#include <vector>

namespace app {

enum class TimeProtocol { Time, Ntp, Nts };

inline constexpr std::array<const char*, 32> kTimeServers = {
    "time.nist.gov",          // NIST, round robin over the servers below
    "time-a-g.nist.gov",      // NIST Gaithersburg, Maryland
    "time-b-g.nist.gov",
    "time-c-g.nist.gov",
    "time-d-g.nist.gov",
    "time-e-g.nist.gov",
    "time-a-wwv.nist.gov",    // NIST WWV, Fort Collins, Colorado
    "time-b-wwv.nist.gov",
    "time-c-wwv.nist.gov",
    "time-d-wwv.nist.gov",
    "time-e-wwv.nist.gov",
    "time-a-b.nist.gov",      // NIST Boulder, Colorado
    "time-b-b.nist.gov",
    "time-c-b.nist.gov",
    "time-d-b.nist.gov",
    "time-e-b.nist.gov",
    "utcnist.colorado.edu",   // University of Colorado, run with NIST
    "utcnist2.colorado.edu",
    "ptbtime1.ptb.de",        // PTB, Braunschweig
    "ptbtime2.ptb.de",
    "ptbtime3.ptb.de",
    "time.fu-berlin.de",      // Freie Universität Berlin
    "ntp1.inrim.it",          // INRiM, Turin
    "ntp2.inrim.it",
    "time.ien.it",
    "tick.usno.navy.mil",     // US Naval Observatory
    "tock.usno.navy.mil",
    "ntp2.usno.navy.mil",
    "time.nrc.ca",            // National Research Council, Ottawa
    "time.chu.nrc.ca",
    "ntp.metas.ch",           // METAS, Bern
    "rdate.cpanel.net",
};

// Public pools first, then national time institutes and the observatories
// and universities that run with them.
inline constexpr std::array kNtpServers = {
    "pool.ntp.org",           // the NTP Pool, nearest servers by DNS
    "0.pool.ntp.org",
    "1.pool.ntp.org",
    "2.pool.ntp.org",
    "3.pool.ntp.org",
    "europe.pool.ntp.org",
    "north-america.pool.ntp.org",
    "asia.pool.ntp.org",
    "time.nist.gov",          // NIST, round robin
    "time-a-g.nist.gov",      // NIST Gaithersburg, Maryland
    "time-a-wwv.nist.gov",    // NIST WWV, Fort Collins, Colorado
    "time-a-b.nist.gov",      // NIST Boulder, Colorado
    "ptbtime1.ptb.de",        // PTB, Braunschweig
    "ptbtime2.ptb.de",
    "ptbtime3.ptb.de",
    "time.fu-berlin.de",      // Freie Universität Berlin
    "ntp.metas.ch",           // METAS, Bern
    "ntp1.inrim.it",          // INRiM, Turin
    "ntp2.inrim.it",
    "ntp1.npl.co.uk",         // NPL, Teddington
    "ntp2.npl.co.uk",
    "ntp.time.nl",            // VSL and SIDN, Delft
    "hora.roa.es",            // Real Observatorio de la Armada, San Fernando
    "tick.usno.navy.mil",     // US Naval Observatory
    "tock.usno.navy.mil",
    "time.nrc.ca",            // National Research Council, Ottawa
    "time.chu.nrc.ca",
    "ntp.nict.jp",            // NICT, Tokyo
    "time.kriss.re.kr",       // KRISS, Daejeon
};

// Public servers of authenticated time, each with its own key exchange.
inline constexpr std::array kNtsServers = {
    "time.cloudflare.com",          // Cloudflare, anycast
    "nts.netnod.se",                // Netnod, Stockholm
    "ptbtime1.ptb.de",              // PTB, Braunschweig
    "ptbtime2.ptb.de",
    "ptbtime3.ptb.de",
    "ptbtime4.ptb.de",
    "nts.time.nl",                  // VSL and SIDN, Delft
    "ntppool1.time.nl",
    "virginia.time.system76.com",   // System76
    "ohio.time.system76.com",
    "oregon.time.system76.com",
    "paris.time.system76.com",
};

std::span<const char* const> ServersFor(TimeProtocol protocol);

// The entries of the built-in lists that hand out a different server at each
// look-up (the pools, NIST's round robin): asked at all their addresses.
inline constexpr std::array kPoolServers = {
    "pool.ntp.org", "0.pool.ntp.org", "1.pool.ntp.org", "2.pool.ntp.org", "3.pool.ntp.org",
    "europe.pool.ntp.org", "north-america.pool.ntp.org", "asia.pool.ntp.org", "time.nist.gov",
};
bool IsPoolEntry(const std::string& server);

// The servers of the Time Server box: separated by spaces or commas.
std::vector<std::string> ServersInBox(const std::string& text);

// What the server box shows after the list changed from `from`'s to `to`'s:
// an entry of the old list becomes the new list's default (the list was
// picked from, and it was picked for the other protocol); a server the user
// typed stays.
std::string ServerAfterProtocolChange(const std::string& shown, TimeProtocol from, TimeProtocol to);

} // namespace app
