#pragma once
// The built-in list of time servers: hosts that answer the Time protocol
// (RFC 868) on TCP port 37. The first is the default server.

#include <array>

namespace app {

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

} // namespace app
