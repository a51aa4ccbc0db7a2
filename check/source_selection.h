#pragma once
// Which of several time sources to believe. Each source that answered says
// the true offset lies within [offset - bound, offset + bound]; the largest
// set of sources whose intervals share a point are the truechimers, but only
// when they are more than half of those that answered. The rest are
// falsetickers. Pure.
//
// The result is the truechimer with the smallest bound, not a weighted mean
// of them all: a one-shot check has one sample per source, whose errors come
// mostly from path asymmetry that averaging does not remove, and mixing in a
// looser source only widens what the tightest one already pins down. The one
// chosen reading also stays a real measurement (its delay, stratum and server
// time belong together), so the clock is set by the same rules as with one
// server. Its error bound is narrowed to the part of its interval that every
// truechimer shares, where the true offset lies if the majority is right.

#include <cstdint>
#include <optional>
#include <vector>

namespace check {

struct SourceInterval {
    std::int64_t offsetNs = 0;
    std::int64_t boundNs = 0;   // half the interval's width; a negative one counts as 0
};

enum class Verdict { Selected, Truechimer, Falseticker, NoMajority, Failed };

struct Selection {
    bool majority = false;
    std::vector<Verdict> verdicts;   // one per source, in the order given
    int selected = -1;               // the source whose reading is the result; -1: none
    std::int64_t offsetNs = 0;
    std::int64_t errorBoundNs = 0;
    int agreeing = 0;                // the truechimers (or the largest set, without a majority)
    int answered = 0;
};

// One entry per source; none for a source that did not answer. Two different
// sets of the largest size are no majority either: the sources cannot say
// which of them is right, and the clock is not set on a guess.
Selection SelectSources(const std::vector<std::optional<SourceInterval>>& sources);

// "selected", "truechimer", "falseticker", "no majority" or "failed".
const char* VerdictText(Verdict verdict);

} // namespace check
