// One almanac tick's astronomy (everything behind one tick: the moon picture's phase
// angle, five phase dates, the six quantities and their texts) and
// MoonPosition alone. Aim: the whole tick under 50 us.
#include "astro/almanac_texts.h"
#include "astro/lunar_quantities.h"
#include "astro/moon_position.h"
#include "astro/phase_dates.h"

#include <benchmark/benchmark.h>

namespace {

constexpr double kSeventhOfDecember2026Noon = 46363.5;
constexpr double kOneSecond = 1.0 / 86400;

void BM_AlmanacTick(benchmark::State& state)
{
    double utc = kSeventhOfDecember2026Noon;
    for (auto _ : state) {
        benchmark::DoNotOptimize(astro::MoonPhaseAngle(utc)); // step 3: the moon picture
        astro::AlmanacTexts texts = astro::AlmanacTextsAt(utc); // steps 4-14
        benchmark::DoNotOptimize(texts);
        utc += kOneSecond;
    }
}
BENCHMARK(BM_AlmanacTick);

void BM_AlmanacTickValuesOnly(benchmark::State& state)
{
    double utc = kSeventhOfDecember2026Noon;
    for (auto _ : state) {
        benchmark::DoNotOptimize(astro::MoonPhaseAngle(utc));
        astro::AlmanacValues values = astro::ComputeAlmanac(utc);
        benchmark::DoNotOptimize(values);
        utc += kOneSecond;
    }
}
BENCHMARK(BM_AlmanacTickValuesOnly);

void BM_MoonPosition(benchmark::State& state)
{
    double utc = kSeventhOfDecember2026Noon;
    for (auto _ : state) {
        benchmark::DoNotOptimize(astro::MoonPosition(utc));
        utc += kOneSecond;
    }
}
BENCHMARK(BM_MoonPosition);

void BM_PhaseTime(benchmark::State& state)
{
    double utc = kSeventhOfDecember2026Noon;
    for (auto _ : state) {
        benchmark::DoNotOptimize(astro::PhaseTime(astro::pkFull, utc));
        utc += kOneSecond;
    }
}
BENCHMARK(BM_PhaseTime);

} // namespace

BENCHMARK_MAIN();
