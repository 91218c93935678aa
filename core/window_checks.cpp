#include "single_item_search.h"

#include <algorithm>

namespace korvcore {

// The pruning check: windows end where the first instance ends.
bool SingleItemSearch::pruned(ItemNodeEntries node, int32_t depth, PruningMemo& memo) {
    constexpr WindowEnd end = WindowEnd::FirstInstance;
    return uniqueItems_ ? windowsShareItem<true>(node, depth, end, &memo, nullptr, 0)
                        : windowsShareItem<false>(node, depth, end, &memo, nullptr, 0);
}

// The backward check: the last window ends at the final item's last occurrence.
bool SingleItemSearch::backwardClosed(ItemNodeEntries node, int32_t depth, const PruningMemo& memo) {
    // An entry whose final item occurs once after f(depth) has the same windows in both checks.
    // The pruning check of this node found every position dead by some first entries; where
    // those all have such windows, the position is dead here too.
    int32_t sameWindows = 0;
    const int32_t* last = recordsAt_[std::size_t(depth)]->last.data();
    while (sameWindows < node.size && last[node.link[sameWindows].record] == node.first[sameWindows])
        ++sameWindows;
    return sameWindows == node.size ||
           !windowsShareItem<false>(node, depth, WindowEnd::LastOccurrence, nullptr, &memo, sameWindows);
}

// Window i of an entry lies strictly between f(i - 1) (the sequence start for i = 0) and the
// chain position c(i): c(depth) is the first instance's end (pruning) or the last position of
// the final item (backward), and c(i) is the last position of e(i) before c(i + 1). An item in
// window i of every entry occurs after f(i - 1) in at least minSupport of the sequences that hold
// e(0) .. e(i - 1), so it is a frequent extension of that node: its records, ascending in first
// position, list exactly the candidates, and those with first < c(i) lie in the window.
//
// Windows are taken position by position, entry by entry; tally_[x] == g + 1 after entry g means
// x lies in window i of entries 0 .. g, so a position dies at the first entry that raises no
// tally, and the first position to survive every entry answers the check. Each entry's chain is
// walked up only as far as a position needs it, hopping over the occurrences of e(i) with nextSame.
template <bool UniqueItems>
bool SingleItemSearch::windowsShareItem(ItemNodeEntries node, int32_t depth, WindowEnd windowEnd,
                                        PruningMemo* recordDeaths, const PruningMemo* skipDead,
                                        int32_t sameWindows) {
    const bool fromLast = windowEnd == WindowEnd::LastOccurrence;
    const int32_t* nextSame = nextSame_;
    int32_t* tally = tally_.data();
    // Most positions die within a few entries, so an entry's chain starts when first visited:
    // chain.stamp == chainCall_ marks the entries this call has started.
    if (chains_.size() < std::size_t(node.size)) chains_.resize(std::size_t(node.size));
    if (++chainCall_ == 0) {
        for (ChainState& chain : chains_) chain.stamp = 0;
        chainCall_ = 1;
    }
    ChainState* chains = chains_.data();
    const uint32_t call = chainCall_;
    const int32_t* ownLast = recordsAt_[std::size_t(depth)]->last.data();
    const ItemNodeEntries* path = path_.data();

    if (recordDeaths) recordDeaths->deadAt.resize(std::size_t(depth) + 1);
    for (int32_t i = depth; i >= 0; --i) {
        if (skipDead && skipDead->deadAt[std::size_t(i)] < sameWindows) continue;
        const NodeRecords& above = *recordsAt_[std::size_t(i)];
        const int32_t* recordItem = above.item.data();
        const int32_t* recordFirst = above.first.data();
        const int32_t* aboveEnd = above.end.data();
        const EntryLink* linkAt = path[i].link;
        // Window i of entry k as a range of the records of the node at depth i - 1.
        auto window = [&](int32_t k, int32_t& begin, int32_t& stop) {
            ChainState& chain = chains[k];
            if (chain.stamp != call) {
                chain.stamp = call;
                chain.depth = depth;
                chain.entry = k;
                if constexpr (!UniqueItems) chain.end = fromLast ? ownLast[node.link[k].record] : node.first[k];
            }
            int32_t at = chain.depth;
            int32_t entry = chain.entry;
            int32_t end = 0;
            if constexpr (!UniqueItems) end = chain.end;
            for (; at > i; --at) {
                const int32_t parentEntry = path[at].link[entry].parent;
                if constexpr (!UniqueItems) {
                    int32_t p = path[at - 1].first[parentEntry];
                    while (nextSame[p] < end) p = nextSame[p];
                    end = p;
                }
                entry = parentEntry;
            }
            chain.depth = at;
            chain.entry = entry;
            if constexpr (!UniqueItems) chain.end = end;
            const EntryLink link = linkAt[entry];
            begin = link.parent > 0 ? aboveEnd[link.parent - 1] : 0;
            if constexpr (UniqueItems) {
                stop = link.record;  // the record of e(i)
            } else {
                stop = begin;
                while (stop < aboveEnd[link.parent] && recordFirst[stop] < end) ++stop;
            }
        };
        // The last position of the pruning check needs no chain: its window in entry k is the
        // parent's records before the node's own. The entry with the fewest goes first, so that
        // the intersection starts small; an empty one settles the position at once.
        int32_t firstEntry = 0;
        if (i == depth && !fromLast) {
            int32_t fewest = INT32_MAX;
            for (int32_t k = 0; k < node.size && fewest > 0; ++k) {
                const int32_t a = linkAt[k].parent;
                const int32_t size = linkAt[k].record - (a > 0 ? aboveEnd[a - 1] : 0);
                if (size < fewest) {
                    fewest = size;
                    firstEntry = k;
                }
            }
        }
        // An entry's records hold distinct items, so the first entry raises every item of its
        // window to 1, and its window is where the tallies are reset from. Entry k, the g-th, then
        // raises the items at g; the position dies at the first that raises none.
        int32_t firstBegin = 0, firstStop = 0;
        window(firstEntry, firstBegin, firstStop);
        for (int32_t q = firstBegin; q < firstStop; ++q) tally[recordItem[q]] = 1;
        int32_t deadAfter = firstStop > firstBegin ? -1 : firstEntry;
        for (int32_t k = 0, g = 1; deadAfter < 0 && k < node.size; ++k) {
            if (k == firstEntry) continue;
            int32_t begin = 0, stop = 0;
            window(k, begin, stop);
            int32_t raised = 0;
            for (int32_t q = begin; q < stop; ++q) {
                const int32_t t = tally[recordItem[q]];
                const int32_t hit = int32_t(t == g);
                tally[recordItem[q]] = t + hit;
                raised += hit;
            }
            if (raised == 0) deadAfter = std::max(firstEntry, k);
            ++g;
        }
        for (int32_t q = firstBegin; q < firstStop; ++q) tally[recordItem[q]] = 0;
        if (deadAfter < 0) return true;
        if (recordDeaths) recordDeaths->deadAt[std::size_t(i)] = deadAfter;
    }
    return false;
}

}  // namespace korvcore
