#pragma once
// A check's record from what the check engine reports, the same for both
// front ends. Header-only: the history library itself needs no check engine.

#include "check/answer.h"
#include "check/check_protocol.h"
#include "check/multi_source_check.h"
#include "history/check_record.h"

#include <cstdint>
#include <string>

namespace history {

struct CheckAsked {
    std::int64_t endedUnixMs = 0;
    std::string server;    // as typed
    std::string address;   // the address asked; empty when the look-up failed
    std::string protocol;  // "rfc868", "ntp", "nts"
};

// A failed check.
inline CheckRecord RecordOfFailure(const CheckAsked& asked, const std::string& reason)
{
    CheckRecord record;
    record.timeUnixMs = asked.endedUnixMs;
    record.server = asked.server;
    record.address = asked.address;
    record.protocol = asked.protocol;
    record.failureReason = reason;
    return record;
}

// An answered check; what was done to the clock is the caller's to add.
inline CheckRecord RecordOfAnswer(const CheckAsked& asked, const check::CheckResult& result,
                                  const check::Answer& answer)
{
    CheckRecord record = RecordOfFailure(asked, {});
    record.completed = true;
    record.offsetSeconds = double(answer.offsetNs) / 1e9;
    record.errorBoundSeconds = double(answer.errorBoundNs) / 1e9;
    record.authenticated = result.authenticated;
    if (result.ntp) {
        record.delaySeconds = double(result.ntp->delayNs) / 1e9;
        record.stratum = result.ntp->stratum;
    }
    return record;
}

// A check of several sources: the majority's result, as asked of the
// selected source, or why there was none.
inline CheckRecord RecordOfSeveral(CheckAsked asked, const check::MultiSourceResult& result)
{
    const check::SourceEnd* selected = result.selected();
    if (!result.combined || !selected || !selected->result)
        return RecordOfFailure(asked, check::SeveralSourcesFailure(result));
    asked.address = selected->address;
    return RecordOfAnswer(asked, *selected->result, *result.combined);
}

} // namespace history
