#include "history/drift.h"

#include <algorithm>
#include <cmath>

namespace history {

std::optional<DriftEstimate> EstimateDrift(const std::vector<CheckRecord>& records, std::int64_t nowUnixMs)
{
    // A step restarts the line: only the checks after the latest one count.
    std::int64_t lastStepMs = INT64_MIN;
    for (const CheckRecord& record : records)
        if (record.clockAction == ClockAction::Stepped)
            lastStepMs = std::max(lastStepMs, record.timeUnixMs);

    std::vector<const CheckRecord*> used;
    for (const CheckRecord& record : records)
        if (record.completed && record.offsetSeconds && record.timeUnixMs > lastStepMs)
            used.push_back(&record);
    if (used.size() < 3)
        return std::nullopt;

    // Times relative to their mean keep the sums small and the slope and the
    // intercept independent.
    const double n = double(used.size());
    const std::int64_t origin = used.front()->timeUnixMs;
    double meanX = 0, meanY = 0;
    for (const CheckRecord* record : used) {
        meanX += double(record->timeUnixMs - origin) / 1000.0;
        meanY += *record->offsetSeconds;
    }
    meanX /= n;
    meanY /= n;
    double sxx = 0, sxy = 0;
    for (const CheckRecord* record : used) {
        const double dx = double(record->timeUnixMs - origin) / 1000.0 - meanX;
        sxx += dx * dx;
        sxy += dx * (*record->offsetSeconds - meanY);
    }
    if (sxx <= 0)
        return std::nullopt;   // all at one moment: no line
    const double slope = sxy / sxx;

    // The slope's standard error from the scatter about the line, but never
    // less than what the checks' own error bounds allow: three checks on an
    // exact line would otherwise claim a perfect figure.
    double squaredResiduals = 0, boundVariance = 0;
    for (const CheckRecord* record : used) {
        const double dx = double(record->timeUnixMs - origin) / 1000.0 - meanX;
        const double residual = *record->offsetSeconds - meanY - slope * dx;
        squaredResiduals += residual * residual;
        const double bound = record->errorBoundSeconds.value_or(0);
        boundVariance += dx * dx * bound * bound;
    }
    const double scatterError = std::sqrt(squaredResiduals / (n - 2) / sxx);
    const double boundError = std::sqrt(boundVariance) / sxx;

    DriftEstimate estimate;
    estimate.ppm = slope * 1e6;
    estimate.uncertaintyPpm = std::max(scatterError, boundError) * 1e6;
    estimate.referenceUnixMs = origin + std::llround(meanX * 1000.0);
    // The rounding of the reference moves the line's point along it.
    estimate.offsetAtReferenceSeconds =
        meanY + slope * (double(estimate.referenceUnixMs - origin) / 1000.0 - meanX);
    estimate.firstUnixMs = used.front()->timeUnixMs;
    estimate.lastUnixMs = used.front()->timeUnixMs;
    for (const CheckRecord* record : used) {
        estimate.firstUnixMs = std::min(estimate.firstUnixMs, record->timeUnixMs);
        estimate.lastUnixMs = std::max(estimate.lastUnixMs, record->timeUnixMs);
    }
    estimate.checks = int(used.size());
    estimate.predictedOffsetNowSeconds = estimate.offsetAt(nowUnixMs);
    return estimate;
}

} // namespace history
