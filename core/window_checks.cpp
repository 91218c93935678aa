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
    const RecordCells<false> parent(*recordsAt_[std::size_t(depth)]);
    while (sameWindows < node.size &&
           parent.last(node.link[sameWindows].record) == parent.first(node.link[sameWindows].record))
        ++sameWindows;
    return sameWindows == node.size ||
           !windowsShareItem<false>(node, depth, WindowEnd::LastOccurrence, nullptr, &memo, sameWindows);
}

namespace {

// The entry whose last window in the pruning check holds the fewest records: the parent's
// records before the node's own. Stops at an empty window, which settles the position at once.
template <bool UniqueItems>
int32_t entryWithFewestRecords(const EntryLink* link, const RecordCells<UniqueItems>& records, int32_t entries) {
    int32_t chosen = 0;
    int32_t fewest = INT32_MAX;
    for (int32_t k = 0; k < entries && fewest > 0; ++k) {
        const int32_t size = link[k].record - records.begin(link[k].parent);
        if (size < fewest) {
            fewest = size;
            chosen = k;
        }
    }
    return chosen;
}

// Raises, without a branch, the tally of every item of records [begin, stop) that stands at
// `g` (in the window of every entry so far); returns how many it raised.
template <bool UniqueItems>
inline int32_t raiseCommonItems(int32_t* tally, const RecordCells<UniqueItems>& records, int32_t begin, int32_t stop,
                                int32_t g) {
    int32_t raised = 0;
    for (int32_t q = begin; q < stop; ++q) {
        const int32_t t = tally[records.item(q)];
        const int32_t hit = int32_t(t == g);
        tally[records.item(q)] = t + hit;
        raised += hit;
    }
    return raised;
}

}  // namespace

// Window i of an entry lies strictly between f(i - 1) (the sequence start for i = 0) and its
// window end c(i): c(depth) is the first instance's end (pruning) or the last position of the
// final item (backward), and c(i) is the last position of e(i) before c(i + 1). An item in
// window i of every entry occurs after f(i - 1) in at least minSupport of the sequences that hold
// e(0) .. e(i - 1), so it is a frequent extension of that node: its records, ascending in first
// position, list exactly the candidates, and those with first < c(i) lie in the window.
//
// Windows are taken position by position, entry by entry; tally_[x] == g + 1 after entry g means
// x lies in window i of entries 0 .. g, so a position dies at the first entry that raises no
// tally, and the first position to survive every entry answers the check. Each entry's chain is
// walked up only as far as a position needs it (chainWindow).
template <bool UniqueItems>
bool SingleItemSearch::windowsShareItem(ItemNodeEntries node, int32_t depth, WindowEnd windowEnd,
                                        PruningMemo* recordDeaths, const PruningMemo* skipDead,
                                        int32_t sameWindows) {
    // Most positions die within a few entries, so an entry's chain starts when first visited:
    // chain.stamp == chainCall_ marks the entries this call has started.
    if (chains_.size() < std::size_t(node.size)) chains_.resize(std::size_t(node.size));
    if (++chainCall_ == 0) {
        for (ChainState& chain : chains_) chain.stamp = 0;
        chainCall_ = 1;
    }
    const int32_t* parentCells = recordsAt_[std::size_t(depth)]->cells.data();
    const ChainWalk walk{chains_.data(), chainCall_, path_.data(), recordsAt_.data(), nextSame_, node, depth,
                         parentCells + (windowEnd == WindowEnd::LastOccurrence ? kLastCell : kFirstCell)};
    int32_t* tally = tally_.data();

    if (recordDeaths) recordDeaths->deadAt.resize(std::size_t(depth) + 1);
    for (int32_t i = depth; i >= 0; --i) {
        if (skipDead && skipDead->deadAt[std::size_t(i)] < sameWindows) continue;
        const PositionRecords<UniqueItems> records{i, RecordCells<UniqueItems>(*recordsAt_[std::size_t(i)]),
                                                   path_[std::size_t(i)].link};
        const RecordCells<UniqueItems>& cells = records.cells;
        // The last position of the pruning check needs no chain, and there the entry with the
        // fewest records goes first, so that the intersection starts small.
        const int32_t firstEntry = i == depth && windowEnd == WindowEnd::FirstInstance
                                       ? entryWithFewestRecords(records.link, cells, node.size)
                                       : 0;
        // An entry's records hold distinct items, so the first entry raises every item of its
        // window to 1, and its window is where the tallies are reset from. Entry k, the g-th, then
        // raises the items at g; the position dies at the first that raises none.
        int32_t firstBegin = 0, firstStop = 0;
        chainWindow<UniqueItems>(walk, firstEntry, records, firstBegin, firstStop);
        for (int32_t q = firstBegin; q < firstStop; ++q) tally[cells.item(q)] = 1;
        int32_t deadAfter = firstStop > firstBegin ? -1 : firstEntry;
        for (int32_t k = 0, g = 1; deadAfter < 0 && k < node.size; ++k) {
            if (k == firstEntry) continue;
            int32_t begin = 0, stop = 0;
            chainWindow<UniqueItems>(walk, k, records, begin, stop);
            if (raiseCommonItems(tally, cells, begin, stop, g) == 0) deadAfter = std::max(firstEntry, k);
            ++g;
        }
        for (int32_t q = firstBegin; q < firstStop; ++q) tally[cells.item(q)] = 0;
        if (deadAfter < 0) return true;
        if (recordDeaths) recordDeaths->deadAt[std::size_t(i)] = deadAfter;
    }
    return false;
}

// Window i of entry k as the range [begin, stop) of the records of the node at depth i - 1. The entry's chain state moves up from where an earlier position left it; with
// repeated items, each step up finds the window end c(at - 1) by hopping along the occurrences
// of e(at - 1) with nextSame, and the window stops before the first record at or past c(i).
template <bool UniqueItems>
__attribute__((always_inline)) inline void SingleItemSearch::chainWindow(const ChainWalk& walk, int32_t k, const PositionRecords<UniqueItems>& records,
                                          int32_t& begin, int32_t& stop) const {
    const int32_t i = records.i;
    ChainState& chain = walk.chains[k];
    const ItemNodeEntries* path = walk.path;
    if (chain.stamp != walk.call) {
        chain.stamp = walk.call;
        chain.depth = walk.depth;
        chain.entry = k;
        if constexpr (!UniqueItems)
            chain.end = walk.ownEnd[std::ptrdiff_t(walk.node.link[k].record) * RecordCells<false>::kRecordCells];
    }
    int32_t at = chain.depth;
    int32_t entry = chain.entry;
    int32_t end = 0;
    if constexpr (!UniqueItems) end = chain.end;
    for (; at > i; --at) {
        const int32_t parentEntry = path[at].link[entry].parent;
        if constexpr (!UniqueItems) {
            int32_t p = RecordCells<false>(*walk.recordsAt[at - 1]).first(path[at - 1].link[parentEntry].record);
            while (walk.nextSame[p] < end) p = walk.nextSame[p];
            end = p;
        }
        entry = parentEntry;
    }
    chain.depth = at;
    chain.entry = entry;
    if constexpr (!UniqueItems) chain.end = end;
    const EntryLink link = records.link[entry];
    begin = records.cells.begin(link.parent);
    // The record of e(i) starts at f(i), and c(i) >= f(i): every record before it lies in the
    // window. Only repeated items can place records past it there.
    stop = link.record;
    if constexpr (!UniqueItems)
        while (stop < records.cells.end(link.parent) && records.cells.first(stop) < end) ++stop;
}

}  // namespace korvcore
