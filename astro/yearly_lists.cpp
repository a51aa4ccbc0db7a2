#include "astro/yearly_lists.h"

#include "astro/angles.h"
#include "astro/calendar.h"
#include "astro/meteor_showers.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace astro {

namespace {

constexpr double kListRadiansPerDegree = static_cast<double>(kPi) / 180;

double Int(double x) { return std::trunc(x); }
double Frac(double x) { return x - std::trunc(x); }
double SinDegrees(double degrees) { return std::sin(degrees * kListRadiansPerDegree); }
double CosDegrees(double degrees) { return std::cos(degrees * kListRadiansPerDegree); }

std::string DateText(double julianDayNumber)
{
    int month = 0, day = 0, year = 0;
    JtoD(julianDayNumber, month, day, year);
    return std::to_string(month) + "/" + std::to_string(day) + "/" + std::to_string(year);
}

} // namespace

std::vector<std::string> NewMoons(int year)
{
    const double Y = year;
    const double k0 = Int((Y - 1900) * 12.3685); // first lunation of the list
    const double T = (Y - 1899.5) * 0.01;
    const double T2 = T * T;
    const double T3 = T * T2;
    const double NI = 29 * k0 + 2415020; // whole days of the first new moon's julian date
    const double NF = 0.53058868 * k0 + (0.0001178 * T2 - 0.000000155 * T3 + 0.75933) - 0.000837 * T
                    - 0.000335 * T2; // its remaining days
    const double M0 = 360 * Frac(0.08084821133 * k0) + 359.2242 - 0.0000333 * T2 - 0.00000347 * T3;
    const double Mm0 = 360 * Frac(0.07171366128 * k0) + 306.0253 + 0.0107306 * T2 + 0.00001236 * T3;
    const double F0 = 360 * Frac(0.08519585128 * k0) + 21.2964 - 0.0016528 * T2 - 0.00000239 * T3;

    std::vector<std::string> lines;
    lines.reserve(29);
    for (int i = 0; i < 29; ++i) { // even: new moon, odd: full moon
        const double h = 0.5 * i;
        const double M = (29.10535608 * h + M0) * kListRadiansPerDegree;   // sun's mean anomaly
        const double Mm = (385.81691806 * h + Mm0) * kListRadiansPerDegree; // moon's mean anomaly
        const double F = (390.67050646 * h + F0) * kListRadiansPerDegree;   // argument of latitude
        double J = NI + 14 * i;
        double G = NF + 0.765294 * i;
        G -= 0.4068 * std::sin(Mm);
        G += (0.1734 - 0.000393 * T) * std::sin(M);
        G += 0.0161 * std::sin(2 * Mm);
        G += 0.0104 * std::sin(2 * F);
        G -= 0.0074 * std::sin(M - Mm);
        G -= 0.0051 * std::sin(Mm + M);
        G += 0.0021 * std::sin(2 * M);
        G += 0.0010 * std::sin(2 * F - Mm);
        // Only the whole days are converted: a phase between 0 h and 12 h UT
        // lists under the previous calendar day (as designed). The whole days
        // are taken downward: cutting toward zero put every line of a year
        // before 1900 (where G is negative) a day late.
        J += std::floor(G);
        lines.push_back(DateText(J) + (i % 2 == 0 ? " - New Moon" : " - Full Moon"));
    }
    return lines;
}

namespace {

// The sun's year in the list's series: the days in which its mean longitude
// (36000.769 degrees a century) goes once round.
constexpr double kListTropicalYearDays = 36525 * 360 / 36000.769;

// Two Newton steps towards the day (after julian day 2433000) on which the
// sun's longitude is target degrees.
double SunAtLongitude(double D, double target)
{
    for (int step = 0; step < 2; ++step) {
        const double T = (D + 2433000 - 2415020) / 36525; // centuries from 1900 January 0.5
        const double L = 279.7 + 36000.769 * T + 0.0003 * T * T;
        const double M = 358.48 + 35999.05 * T - 0.0002 * T * T;
        double lambda = L + (1.92 - 0.005 * T) * SinDegrees(M) + 0.02 * SinDegrees(2 * M);
        lambda -= 360 * Int(lambda / 360);
        // Int cuts toward zero, which leaves a negative longitude (T < 0,
        // years before 1900) in (-360, 0]: the step then jumped a whole
        // year per iteration. Bring it into [0, 360) as intended.
        if (lambda < 0)
            lambda += 360;
        // The shorter way round the circle: a start value more than half a
        // year off (centuries from 1950, where the start value's year and the
        // sun's drift apart) would otherwise step a whole year too far.
        double ahead = lambda - target;
        ahead -= 360 * std::round(ahead / 360);
        D -= ahead / (0.986 + 0.033 * CosDegrees(M));
    }
    return D;
}

// The julian day number the list shows for a computed day: the calendar day
// after it (as designed). Whole days are taken downward, as the moon list
// does: cutting toward zero put every date before 1949 (D < 0) a day late.
double ListedDay(double D)
{
    return std::floor(D) + 2433000 + 1;
}

int YearOf(double julianDayNumber)
{
    int month = 0, day = 0, year = 0;
    JtoD(julianDayNumber, month, day, year);
    return year;
}

} // namespace

std::vector<std::string> meteor(int year)
{
    const double t = (year - 1950) * 0.01; // centuries from 1950
    std::vector<std::pair<double, std::string>> peaks;
    for (std::size_t row = 1; row <= kMeteorShowers.size(); ++row) {
        const MeteorShower& shower = kMeteorShowers[row - 1];
        if (std::abs(t) >= 1.5 && (row == 1 || row == 4 || row == 9))
            continue;
        double target = shower.PeakLongitude + t * shower.LongitudeDrift;
        target -= 360 * Int(target / 360);
        double D = SunAtLongitude(shower.BaseDay + 36525.636 * t + shower.LongitudeDrift * t, target);
        // Far from 1950 the peak nearest the start value can lie in the next
        // or the last year: the year's own peak is then one sun's year nearer.
        // A year can also hold no listed day of a shower at all (a peak on
        // the last evening of one year and the next just after the following
        // New Year's Day); the shower is then left out, not dated in another year.
        const int listedYear = YearOf(ListedDay(D));
        if (listedYear != year)
            D = SunAtLongitude(D + (listedYear < year ? kListTropicalYearDays : -kListTropicalYearDays), target);
        if (YearOf(ListedDay(D)) != year)
            continue;
        peaks.emplace_back(ListedDay(D), DateText(ListedDay(D)) + "  -  " + std::string(shower.Name));
    }
    // Drifted peaks can pass one another or wrap to the year's start: the
    // list stays in date order.
    std::stable_sort(peaks.begin(), peaks.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> lines;
    lines.reserve(peaks.size());
    for (auto& peak : peaks)
        lines.push_back(std::move(peak.second));
    return lines;
}

} // namespace astro
