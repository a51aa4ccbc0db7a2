#pragma once
// The two yearly lists of the list dialog, as lines of text. Each
// uses its own series and shares only JtoD with the rest of the almanac.

#include <string>
#include <vector>

namespace astro {

// 29 alternating new and full moons from the first lunation of the year
// (usually in December of the year before): "12/10/1996 - New Moon".
std::vector<std::string> NewMoons(int year);

// The peak dates of the year's meteor showers: "1/3/1997  -  Quadrantids".
// Nine lines, or six when |year - 1950| >= 150; in date order, every date in
// the year (a shower with no peak day in the year, possible far from 1950, is
// left out).
std::vector<std::string> meteor(int year);

} // namespace astro
