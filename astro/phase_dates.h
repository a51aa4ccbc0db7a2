#pragma once
// The moments of the moon's four principal phases, from a mean-phase
// series in the lunation number with periodic and planetary corrections. The
// result is on the input's time scale (no dynamical-time correction).

#include "astro/calendar.h"

#include <cstdint>

namespace astro {

enum TPhaseKind : std::uint8_t { pkNew = 0, pkFirstQuarter = 1, pkFull = 2, pkLastQuarter = 3 };

// The phase of that kind in the lunation whose new moon is nearest t + 5.6
// days (a new moon between about 9 days before and 20 days after t).
DateTimeValue PhaseTime(TPhaseKind kind, DateTimeValue t);

// The latest phase of that kind at or before t, stepping back 28 days at a time.
DateTimeValue LastPhase(TPhaseKind kind, DateTimeValue t);

// The earliest phase of that kind at or after t, stepping on 28 days at a time.
DateTimeValue NextPhase(TPhaseKind kind, DateTimeValue t);

} // namespace astro
