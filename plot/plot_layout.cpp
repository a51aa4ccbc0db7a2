#include "plot/plot_layout.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace plot {

Ticks NiceTicks(Range range, int maxTicks)
{
    maxTicks = std::max(maxTicks, 2);
    if (!(range.span() > 0)) {
        // A single value still gets an axis around it.
        const double half = range.low != 0 ? std::abs(range.low) * 0.5 : 1.0;
        range = {range.low - half, range.low + half};
    }
    const double rough = range.span() / (maxTicks - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    Ticks ticks;
    // The largest factor always fits; rounding may make a smaller one miss.
    for (const double factor : {1.0, 2.0, 5.0, 10.0, 20.0}) {
        ticks.step = factor * power;
        ticks.covered = {std::floor(range.low / ticks.step) * ticks.step, std::ceil(range.high / ticks.step) * ticks.step};
        if (std::llround(ticks.covered.span() / ticks.step) + 1 <= maxTicks)
            break;
    }
    const long long count = std::llround(ticks.covered.span() / ticks.step);
    for (long long i = 0; i <= count; ++i) {
        const double value = ticks.covered.low + double(i) * ticks.step;
        // No "-0" and no 1e-17 where zero is meant.
        ticks.values.push_back(std::abs(value) < ticks.step * 1e-9 ? 0.0 : value);
    }
    return ticks;
}

OffsetUnit OffsetUnitFor(double largestSeconds)
{
    largestSeconds = std::abs(largestSeconds);
    if (largestSeconds < 1e-3)
        return {1e6, "µs"};
    if (largestSeconds < 1.0)
        return {1e3, "ms"};
    return {1.0, "s"};
}

std::string FormatOffset(double seconds, const OffsetUnit& unit, int decimals)
{
    const double value = seconds * unit.perSecond;
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.*f", std::max(decimals, 0), std::abs(value));
    const bool zero = std::strtod(digits, nullptr) == 0.0;
    const char* sign = zero ? "" : value > 0 ? "+" : "\u2212";
    return std::string(sign) + digits + " " + unit.suffix;
}

int DecimalsFor(double stepSeconds, const OffsetUnit& unit)
{
    const double step = std::abs(stepSeconds * unit.perSecond);
    if (!(step > 0))
        return 0;
    return std::clamp(int(-std::floor(std::log10(step) + 1e-9)), 0, 6);
}

namespace {

constexpr std::int64_t kSecondMs = 1000;
constexpr std::int64_t kMinuteMs = 60'000;
constexpr std::int64_t kHourMs = 60 * kMinuteMs;
constexpr std::int64_t kDayMs = 24 * kHourMs;

// The steps a time axis may use, shortest first.
constexpr std::array kTimeSteps{
    kSecondMs, 2 * kSecondMs, 5 * kSecondMs, 10 * kSecondMs, 15 * kSecondMs, 30 * kSecondMs, kMinuteMs, 2 * kMinuteMs, 5 * kMinuteMs, 10 * kMinuteMs, 15 * kMinuteMs, 30 * kMinuteMs,
    kHourMs, 2 * kHourMs, 3 * kHourMs, 6 * kHourMs, 12 * kHourMs,
    kDayMs, 2 * kDayMs, 7 * kDayMs, 14 * kDayMs, 28 * kDayMs, 56 * kDayMs, 91 * kDayMs, 182 * kDayMs, 364 * kDayMs,
};

std::string Text(const QDateTime& local, const char* format)
{
    return QLocale::c().toString(local, QString::fromLatin1(format)).toStdString();
}

} // namespace

std::vector<TimeTick> TimeTicks(std::int64_t firstUnixMs, std::int64_t lastUnixMs, int maxTicks)
{
    std::vector<TimeTick> ticks;
    if (lastUnixMs < firstUnixMs)
        std::swap(firstUnixMs, lastUnixMs);
    maxTicks = std::max(maxTicks, 2);
    const std::int64_t span = std::max<std::int64_t>(lastUnixMs - firstUnixMs, 1);
    std::int64_t step = kTimeSteps.back();
    for (const std::int64_t candidate : kTimeSteps)
        if (span / candidate + 1 <= maxTicks) {
            step = candidate;
            break;
        }
    const bool days = step >= kDayMs;
    const char* const timeFormat = step < kMinuteMs ? "HH:mm:ss" : "HH:mm";

    // Round in local time: the first tick at or after the start.
    QDateTime tick;
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(firstUnixMs);
    if (days) {
        tick = first.date().startOfDay();
        if (tick.toMSecsSinceEpoch() < firstUnixMs)
            tick = first.date().addDays(1).startOfDay();
    } else {
        const std::int64_t localMs = firstUnixMs + std::int64_t(first.offsetFromUtc()) * 1000;
        std::int64_t past = localMs % step;
        if (past < 0)
            past += step;
        const std::int64_t rounded = past == 0 ? localMs : localMs - past + step;
        tick = first.addMSecs(rounded - localMs);
        if (tick.toMSecsSinceEpoch() < firstUnixMs)
            tick = tick.addMSecs(step);
    }

    QDate previousDate;
    // Bounded: never more ticks than asked for (and some slack for zone changes).
    for (int i = 0; i < maxTicks + 2 && tick.toMSecsSinceEpoch() <= lastUnixMs; ++i) {
        TimeTick made;
        made.unixMs = tick.toMSecsSinceEpoch();
        if (days)
            made.label = Text(tick, step >= 364 * kDayMs ? "MMM yyyy" : "d MMM");
        else if (tick.date() != previousDate)
            made.label = Text(tick, timeFormat) + "\n" + Text(tick, "d MMM");
        else
            made.label = Text(tick, timeFormat);
        previousDate = tick.date();
        ticks.push_back(std::move(made));
        tick = days ? tick.date().addDays(step / kDayMs).startOfDay() : tick.addMSecs(step);
    }
    return ticks;
}

Range OffsetRange(const std::vector<history::CheckRecord>& records,
                  const std::optional<history::DriftEstimate>& drift)
{
    double low = INFINITY;
    double high = -INFINITY;
    auto include = [&](double value) {
        if (std::isfinite(value)) {
            low = std::min(low, value);
            high = std::max(high, value);
        }
    };
    for (const history::CheckRecord& record : records) {
        if (!record.completed || !record.offsetSeconds)
            continue;
        const double bound = std::abs(record.errorBoundSeconds.value_or(0));
        include(*record.offsetSeconds - bound);
        include(*record.offsetSeconds + bound);
    }
    if (drift) {
        include(drift->offsetAt(drift->firstUnixMs));
        include(drift->offsetAt(drift->lastUnixMs));
    }
    if (low > high)
        return {-1e-3, 1e-3};
    // Zero stays in view when it is near: the offsets read against it.
    if (low > 0 && low < (high - low))
        low = 0;
    if (high < 0 && -high < (high - low))
        high = 0;
    const double minimumSpan = 1e-6;
    if (high - low < minimumSpan) {
        const double middle = (low + high) / 2;
        low = middle - minimumSpan / 2;
        high = middle + minimumSpan / 2;
    }
    const double pad = (high - low) * 0.08;
    return {low - pad, high + pad};
}

Range TimeRange(const std::vector<history::CheckRecord>& records, std::int64_t nowUnixMs)
{
    if (records.empty())
        return {double(nowUnixMs - kHourMs), double(nowUnixMs)};
    std::int64_t first = records.front().timeUnixMs;
    std::int64_t last = first;
    for (const history::CheckRecord& record : records) {
        first = std::min(first, record.timeUnixMs);
        last = std::max(last, record.timeUnixMs);
    }
    // One check alone still spans a few minutes around it; checks seconds
    // apart keep their own scale.
    const std::int64_t pad = last > first ? std::max<std::int64_t>((last - first) / 40, 2 * kSecondMs)
                                          : 5 * kMinuteMs / 2;
    return {double(first - pad), double(last + pad)};
}

std::vector<Gap> FindGaps(const std::vector<std::int64_t>& sortedUnixMs)
{
    std::vector<Gap> gaps;
    if (sortedUnixMs.size() < 3)
        return gaps;
    std::vector<std::int64_t> intervals;
    intervals.reserve(sortedUnixMs.size() - 1);
    for (std::size_t i = 1; i < sortedUnixMs.size(); ++i)
        intervals.push_back(sortedUnixMs[i] - sortedUnixMs[i - 1]);
    std::vector<std::int64_t> sorted = intervals;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
    const std::int64_t median = sorted[sorted.size() / 2];
    const std::int64_t longest = std::max(4 * median, 10 * kMinuteMs);
    for (std::size_t i = 0; i < intervals.size(); ++i)
        if (intervals[i] > longest)
            gaps.push_back({sortedUnixMs[i], sortedUnixMs[i + 1]});
    return gaps;
}

std::string DriftCaption(const std::optional<history::DriftEstimate>& drift)
{
    if (!drift)
        return "Drift: not enough checks yet";
    const double uncertainty = std::abs(drift->uncertaintyPpm);
    // As many decimals as the uncertainty's first digit needs, one to three.
    const int decimals = uncertainty >= 0.1 ? 1 : uncertainty >= 0.01 ? 2 : 3;
    char text[96];
    std::snprintf(text, sizeof text, "%s%.*f \u00b1 %.*f ppm", drift->ppm < 0 ? "\u2212" : "+", decimals,
                  std::abs(drift->ppm), decimals, uncertainty);
    return std::string("Drift: ") + text;
}

} // namespace plot
