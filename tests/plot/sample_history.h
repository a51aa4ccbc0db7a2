#pragma once
// A day and a half of hourly checks with what a plot must show: a clock that
// drifts, a step that brings it back, failed checks and a night without checks.

#include "history/check_record.h"
#include "history/drift.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace testing_support {

// 2026-12-07 00:00 UTC.
inline constexpr std::int64_t kSampleStartMs = 1796601600000;

inline std::vector<history::CheckRecord> SampleHistory()
{
    std::vector<history::CheckRecord> records;
    const std::int64_t hour = 3'600'000;
    double offset = 0.0004;
    for (int i = 0; i < 36; ++i) {
        if (i >= 14 && i < 22)
            continue;   // the night without checks
        history::CheckRecord record;
        record.id = i + 1;
        record.timeUnixMs = kSampleStartMs + i * hour;
        record.server = "pool.ntp.org";
        record.address = "127.0.0.1";
        record.protocol = "ntp";
        record.completed = i % 11 != 5;
        if (!record.completed) {
            record.failureReason = "no answer within 10 seconds";
        } else {
            // 2 ppm slow: 7.2 ms an hour, until the check at hour 10 steps the
            // clock by what had gathered.
            offset = 0.0004 + 0.0072 * (i <= 10 ? i : i - 10) + (i % 3 - 1) * 0.0004;
            record.offsetSeconds = offset;
            record.errorBoundSeconds = 0.0006 + (i % 4) * 0.0003;
            record.delaySeconds = 0.012;
            record.stratum = 2;
        }
        if (i == 10) {
            record.clockAction = history::ClockAction::Stepped;
            record.stepSeconds = offset;
        }
        records.push_back(record);
    }
    return records;
}

// The line the drift estimate would give for the checks after the step.
inline history::DriftEstimate SampleDrift()
{
    history::DriftEstimate drift;
    drift.ppm = 2.0;
    drift.uncertaintyPpm = 0.04;
    drift.referenceUnixMs = kSampleStartMs + 10 * 3'600'000;
    drift.offsetAtReferenceSeconds = 0.0004;
    drift.firstUnixMs = kSampleStartMs + 11 * 3'600'000;
    drift.lastUnixMs = kSampleStartMs + 35 * 3'600'000;
    drift.checks = 12;
    return drift;
}

} // namespace testing_support
