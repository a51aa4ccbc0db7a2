// Which sources are believed: interval sets with the truechimers expected.
#include "check/source_selection.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using check::Verdict;
constexpr std::int64_t kMs = 1'000'000;

std::optional<check::SourceInterval> at(std::int64_t offsetMs, std::int64_t boundMs)
{
    return check::SourceInterval{offsetMs * kMs, boundMs * kMs};
}

// One letter per source, in the enum's order: Selected, Truechimer, Falseticker, NoMajority, Failed.
std::string verdictLetters(const check::Selection& selection)
{
    std::string letters;
    for (const Verdict verdict : selection.verdicts)
        letters += "STFN-"[static_cast<int>(verdict)];
    return letters;
}

TEST(SourceSelection, TruechimersOfEachIntervalSet)
{
    const std::optional<check::SourceInterval> none;
    struct Case {
        const char* name;
        std::vector<std::optional<check::SourceInterval>> sources;
        std::string verdicts;
        std::int64_t offsetMs;       // of a majority
        std::int64_t errorBoundMs;
    };
    const Case cases[] = {
        {"one source is its own majority", {at(5, 2)}, "S", 5, 2},
        {"three agree, one lies far off", {at(1, 3), at(0, 2), at(-1, 4), at(5000, 2)}, "TSTF", 0, 2},
        {"the tightest truechimer is chosen, its bound narrowed to what all share",
         {at(0, 10), at(3, 4), at(-2, 5)}, "TST", 3, 4},
        {"intervals that only touch share that point", {at(0, 1), at(2, 1), at(10, 1)}, "STF", 0, 1},
        {"three that meet in one point", {at(1, 1), at(3, 1), at(2, 0)}, "TTS", 2, 0},
        {"one touching two that do not meet is a tie", {at(4, 2), at(0, 2), at(8, 2)}, "NNN", 0, 0},
        {"a gap of one nanosecond is no agreement",
         {check::SourceInterval{0, kMs}, check::SourceInterval{2 * kMs + 1, kMs}}, "NN", 0, 0},
        {"two that disagree", {at(0, 1), at(100, 1)}, "NN", 0, 0},
        {"two alike against two alike is no majority", {at(0, 1), at(0, 1), at(50, 1), at(50, 1)}, "NNNN", 0, 0},
        {"half is not more than half", {at(0, 1), at(0, 1), at(50, 1), at(90, 1)}, "NNNN", 0, 0},
        {"equal bounds: the first given is chosen", {at(1, 2), at(0, 2), at(2, 2)}, "STT", 1, 1},
        {"identical intervals all agree", {at(7, 3), at(7, 3), at(7, 3)}, "STT", 7, 3},
        {"two different largest sets are no majority",
         {at(5, 5), at(0, 1), at(10, 1)}, "NNN", 0, 0},
        {"failed sources do not count towards the majority", {none, at(0, 1), none, at(1, 1), none}, "-S-T-", 0, 1},
        {"one answer among the silent is a majority of those that answered", {none, at(3, 1), none}, "-S-", 3, 1},
        {"nobody answered", {none, none}, "--", 0, 0},
        {"a liar inside a wide truechimer is still outvoted",
         {at(0, 100), at(1, 1), at(0, 1), at(60, 1)}, "TSTF", 1, 1},
        {"a negative bound counts as a point", {at(0, -5), at(0, 1), at(0, 1)}, "STT", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const check::Selection selection = check::SelectSources(c.sources);
        EXPECT_EQ(verdictLetters(selection), c.verdicts);
        const bool majority = c.verdicts.find('S') != std::string::npos;
        EXPECT_EQ(selection.majority, majority);
        if (majority) {
            EXPECT_EQ(selection.offsetNs, c.offsetMs * kMs);
            EXPECT_EQ(selection.errorBoundNs, c.errorBoundMs * kMs);
        } else {
            EXPECT_EQ(selection.selected, -1);
        }
    }
}

} // namespace
