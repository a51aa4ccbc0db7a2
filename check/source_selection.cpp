#include "check/source_selection.h"

#include <algorithm>

namespace check {
namespace {

struct Edge {
    std::int64_t at;
    bool opens;
    int source;
};

std::int64_t lowOf(const SourceInterval& s)
{
    return s.offsetNs - std::max<std::int64_t>(s.boundNs, 0);
}

std::int64_t highOf(const SourceInterval& s)
{
    return s.offsetNs + std::max<std::int64_t>(s.boundNs, 0);
}

// Every distinct set of the largest size whose intervals share a point, by a
// sweep over the ends; an interval that opens where another closes shares
// that point with it.
std::vector<std::vector<int>> largestSets(const std::vector<std::optional<SourceInterval>>& sources)
{
    std::vector<Edge> edges;
    for (int i = 0; i < static_cast<int>(sources.size()); ++i) {
        if (!sources[static_cast<std::size_t>(i)])
            continue;
        edges.push_back({lowOf(*sources[static_cast<std::size_t>(i)]), true, i});
        edges.push_back({highOf(*sources[static_cast<std::size_t>(i)]), false, i});
    }
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) {
        if (a.at != b.at)
            return a.at < b.at;
        return a.opens && !b.opens;   // opens first: touching counts
    });
    std::vector<int> open;
    std::vector<std::vector<int>> best;
    for (const Edge& edge : edges) {
        if (!edge.opens) {
            open.erase(std::find(open.begin(), open.end(), edge.source));
            continue;
        }
        open.push_back(edge.source);
        if (!best.empty() && open.size() < best.front().size())
            continue;
        std::vector<int> set = open;
        std::sort(set.begin(), set.end());
        if (!best.empty() && set.size() > best.front().size())
            best.clear();
        if (std::find(best.begin(), best.end(), set) == best.end())
            best.push_back(std::move(set));
    }
    return best;
}

} // namespace

Selection SelectSources(const std::vector<std::optional<SourceInterval>>& sources)
{
    Selection selection;
    selection.verdicts.assign(sources.size(), Verdict::Failed);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i]) {
            ++selection.answered;
            selection.verdicts[i] = Verdict::NoMajority;
        }
    }
    const std::vector<std::vector<int>> sets = largestSets(sources);
    if (sets.empty())
        return selection;
    const std::vector<int>& truechimers = sets.front();
    selection.agreeing = static_cast<int>(truechimers.size());
    if (sets.size() > 1 || 2 * selection.agreeing <= selection.answered)
        return selection;

    selection.majority = true;
    for (std::size_t i = 0; i < sources.size(); ++i)
        if (sources[i])
            selection.verdicts[i] = Verdict::Falseticker;
    std::int64_t low = INT64_MIN;
    std::int64_t high = INT64_MAX;
    for (const int i : truechimers) {
        const SourceInterval& source = *sources[static_cast<std::size_t>(i)];
        selection.verdicts[static_cast<std::size_t>(i)] = Verdict::Truechimer;
        low = std::max(low, lowOf(source));
        high = std::min(high, highOf(source));
        // The tightest bound; the first of equals, so the order given decides a tie.
        if (selection.selected < 0 ||
            source.boundNs < sources[static_cast<std::size_t>(selection.selected)]->boundNs)
            selection.selected = i;
    }
    selection.verdicts[static_cast<std::size_t>(selection.selected)] = Verdict::Selected;
    selection.offsetNs = sources[static_cast<std::size_t>(selection.selected)]->offsetNs;
    selection.errorBoundNs = std::max(selection.offsetNs - low, high - selection.offsetNs);
    return selection;
}

const char* VerdictText(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Selected:
        return "selected";
    case Verdict::Truechimer:
        return "truechimer";
    case Verdict::Falseticker:
        return "falseticker";
    case Verdict::NoMajority:
        return "no majority";
    case Verdict::Failed:
        break;
    }
    return "failed";
}

} // namespace check
