#pragma once
// The built-in table of nine annual meteor showers, in list order.

#include <array>
#include <string_view>

namespace astro {

struct MeteorShower {
    std::string_view Name;    // at most 15 characters
    double PeakLongitude;     // the sun's ecliptic longitude at the peak in 1950, degrees
    double LongitudeDrift;    // change of PeakLongitude, degrees per century
    double BaseDay;           // the 1950 peak, days after julian day 2433000
};

inline constexpr std::array<MeteorShower, 9> kMeteorShowers{{
    {"Quadrantids", 282.9, -0.4, 285.3},   // 1
    {"Lyrids", 31.7, 0.06, 393.9},         // 2
    {"Eta Aquarids", 44, 0.3, 406.6},      // 3
    {"Delta Aquarids", 125, -1, 491.2},    // 4
    {"Perseids", 139.2, 0.03, 506},        // 5
    {"Orionids", 207.7, 0.4, 576.2},       // 6
    {"Taurids", 220, 0.44, 588.5},         // 7
    {"Leonids", 234.3, 1.5, 602.7},        // 8
    {"Geminids", 261.4, 0, 629.5},         // 9
}};

} // namespace astro
