// The search specialised to databases whose events all hold one item (depth 0 is a one-item
// pattern). It finds exactly what the general search finds on such data, in the same order, on a
// compact copy of the database and with per-entry links to the pattern's first instance, so that
// neither the forward counting nor the two checks re-derive an instance from the sequence start.
//
// CompactDatabase: the items of every sequence back to back.
//   1. items[0] == -1, and a -1 follows every sequence: each sequence is the run of items between
//      two -1s. No other negative value occurs. sequenceMarks[s] is the -1 before sequence s.
//   2. nextSame[p] is the next position of the same sequence holding items[p], or kNoPosition
//      (larger than every position) when there is none; nextSame[p] is kNoPosition for a -1.
//   3. uniqueItems: no sequence holds an item twice. Then nextSame is left empty, and the search
//      keeps no positions at all (below).
//
// A node at depth d (pattern e(0) .. e(d)) has one entry per supporting sequence, in sequence order:
//   first[k]          f(d): where the first instance of the pattern ends in that sequence;
//   link[k].parent    the entry of the node at depth d - 1 whose sequence this is (the sequence
//                     number at depth 0);
//   link[k].record    the parent's record (below) of e(d) in that sequence, whose `last` is the
//                     last position of e(d) there.
// The two links sit side by side: every pass that reads one reads the other.
// So the first instance is f(0) .. f(d), found by following parent links up the search path.
//
// NodeRecords: for each entry of a node, one record per item that is a frequent extension of the
// node and occurs after f(d) in the entry's sequence: the item, its first position after f(d) and
// its last position. A child's extensions are among its parent's frequent ones, so a child counts
// by reading its parent's records instead of its sequence:
//   1. records of entry k are end[k - 1] .. end[k] - 1 (from 0 for k = 0), in ascending first;
//   2. repeated[repeatedEnd[k - 1] .. repeatedEnd[k] - 1] (from 0 for k = 0) are, ascending, the
//      indices of entry k's records whose item occurs more than once (first != last).
// The empty pattern's records (one entry per sequence) hold the frequent single items.
//
// When no sequence holds an item twice, every pattern has one instance per sequence: the chain of
// the checks is the first instance, and the window of position i in an entry is its records before
// that of e(i). So the search keeps items and record links only: `first` of the entries and
// `first`, `last` and `repeated` of the records stay empty, and the backward check is the pruning
// check's.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "search_hooks.h"
#include "search_database.h"

namespace korvplus {

inline constexpr int32_t kNoPosition = INT32_MAX;

struct CompactDatabase {
    std::vector<int32_t> items;
    std::vector<int32_t> nextSame;
    std::vector<int32_t> sequenceMarks;
    int32_t itemCount = 0;
    bool uniqueItems = false;
};

// The compact form of a database whose events all hold one item.
CompactDatabase compactSingleItemDatabase(const SearchDatabase& database);

// Growth that leaves new elements uninitialised, for per-node arrays that are written in full
// before they are read: zero-filling them at every node would be wasted work.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(at)) U;
        else
            ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};
using NodeArray = std::vector<int32_t, UninitializedAllocator<int32_t>>;

// Per-depth storage is reused from node to node; when a node needs far less than an earlier one
// left reserved, the slack goes back, so that threads do not each keep their largest nodes.
template <class Storage>
void resizeKeepingLittleSlack(Storage& storage, std::size_t size) {
    storage.resize(size);
    if (storage.capacity() > (std::size_t(1) << 16) && storage.capacity() / 8 > size) storage.shrink_to_fit();
}

struct ItemRecord {
    int32_t item, first, last;
};

struct EntryLink {
    int32_t parent, record;
};
using LinkArray = std::vector<EntryLink, UninitializedAllocator<EntryLink>>;

// Records are kept as parallel arrays, so that counting reads the items alone.
struct NodeRecords {
    NodeArray item, first, last;
    NodeArray end;
    NodeArray repeated;
    NodeArray repeatedEnd;
    std::vector<int32_t> childItems;  // the distinct items of the records, ascending

    // Room for recordCount records and one scratch record past them; `repeated` is cut to its
    // size once filled. Without positions, only `item` and `end` are kept.
    void resize(int32_t recordCount, int32_t entryCount, bool positions) {
        const std::size_t cells = std::size_t(recordCount) + 1;
        resizeKeepingLittleSlack(item, cells);
        resizeKeepingLittleSlack(end, std::size_t(entryCount));
        if (!positions) return;
        resizeKeepingLittleSlack(first, cells);
        resizeKeepingLittleSlack(last, cells);
        resizeKeepingLittleSlack(repeated, cells);
        resizeKeepingLittleSlack(repeatedEnd, std::size_t(entryCount));
    }
};

// The entries of one node, by pointer into the level that holds them.
struct ItemNodeEntries {
    const int32_t* first = nullptr;
    const EntryLink* link = nullptr;
    int32_t size = 0;
};

// The children of one node with their entries back to back; one per depth, reused.
struct ItemLevel {
    std::vector<int32_t> childItem;  // ascending
    std::vector<int32_t> childSupport;
    std::vector<int32_t> childBegin;
    NodeArray first;
    LinkArray link;
    int32_t nextChild = 0;

    int32_t childCount() const { return static_cast<int32_t>(childItem.size()); }
    ItemNodeEntries entries(int32_t child) const {
        const std::size_t begin = std::size_t(childBegin[std::size_t(child)]);
        const int32_t* firstAt = first.empty() ? nullptr : first.data() + begin;  // empty without positions
        return {firstAt, link.data() + begin, childSupport[std::size_t(child)]};
    }
};

// A subtree to mine: the pattern above `level`'s children, the entries (copied) and records
// (shared, never written again) of every node on the path to them, and the children themselves.
// The serial search is one task whose level holds every frequent single item.
struct ItemTask {
    std::vector<int32_t> pattern;  // e(0) .. e(d - 1), dense ids; empty for the single items
    const NodeRecords* rootRecords = nullptr;  // the empty pattern's, shared by every task
    std::vector<std::vector<int32_t>> pathFirst;  // per depth 0 .. d - 1, empty without positions
    std::vector<std::vector<EntryLink>> pathLink;  // per depth 0 .. d - 1
    std::vector<std::shared_ptr<const NodeRecords>> pathRecords;  // per depth 0 .. d - 1
    ItemLevel level;
};

class ItemSequenceSearch {
public:
    ItemSequenceSearch(const CompactDatabase& database, int32_t minSupport, ClosedCollector& collector);

    // The task of the whole search: every frequent single item with its entries. `root` receives
    // the empty pattern's records; it must outlive every task.
    ItemTask singleItemTask(NodeRecords& root);

    // Mines the subtrees of every child of the task's level, in order, reporting each closed
    // pattern to the collector. Children handed to `sharing` are not mined here.
    void mine(ItemTask& task, WorkSharing<ItemTask>& sharing);

private:
    // Counts the forward extensions of the node at `depth` from its parent's records, keeps its
    // own records of the frequent ones and builds those children into levels_[depth + 1];
    // returns how many have the node's own support.
    template <bool UniqueItems>
    int32_t buildChildren(ItemNodeEntries node, int32_t depth);
    // The children of the empty pattern (the frequent single items) and its records.
    void buildSingleItems(NodeRecords& root);
    template <class Keeper>
    void keepSingleItemRecords(Keeper keeper, NodeRecords& root);
    // The frequent touched items become the level's children, in ascending id, with room for
    // their entries; returns how many have count == support.
    struct FrequentTotals {
        int32_t equalSupport, entries;
    };
    FrequentTotals takeFrequent(ItemLevel& level, int32_t support, bool touchedAscending);
    void restoreItemSlots(ItemLevel& level);
    // Storage for the records of the node at `depth`, which recordsAt_ then points at.
    NodeRecords& ownRecords(int32_t depth);
    // Builds the node's children and reports the node when it is closed.
    void growNode(ItemNodeEntries node, int32_t depth);
    // True when some pattern position has an item in the same window of every entry; windows end
    // at the first instance (pruning) or at the last position of the final item (backward). The
    // pruning check records in deadAt_ the entry at which each position died; the backward check
    // of the same node then skips the positions that died within its first `sameWindows` entries.
    template <bool UniqueItems>
    bool windowsShareItem(ItemNodeEntries node, int32_t depth, bool fromLast, int32_t sameWindows = 0);
    // The pruning check of a node about to be visited.
    bool pruned(ItemNodeEntries node, int32_t depth);
    // False when the backward check finds an item shared by every window (repeated items only).
    bool backwardClosed(ItemNodeEntries node, int32_t depth);
    ItemLevel& levelAt(int32_t depth);
    // The subtree of the current child at `depth` is done.
    void finishChild(int32_t depth);
    // Hands the unstarted children of the shallowest level from baseDepth to `depth` to sharing.
    void shareWork(int32_t baseDepth, int32_t depth, WorkSharing<ItemTask>& sharing);

    const int32_t* items_;
    const int32_t* nextSame_;
    const CompactDatabase& database_;
    const bool uniqueItems_;
    int32_t minSupport_;
    ClosedCollector& collector_;

    // Per item. At rest count_ 0, stamp_ -1, childIndex_ -1 (restored through touched_) and
    // tally_ 0 (restored from the window of a check's first entry); recordOf_[x] is valid while
    // stamp_[x] names the current sequence.
    std::vector<int32_t> count_, stamp_, childIndex_, recordOf_, tally_;
    std::vector<int32_t> touched_;  // itemCount slots; the first touchedCount_ are in use
    int32_t touchedCount_ = 0;
    std::vector<int32_t> frequent_;
    // [d + 1]: the records of the node at depth d on the path. Below the task's depth they are the
    // task's (heldRecords_); from it on they are built here into ownRecords_. Records a task given
    // away shares are never written again: ownRecordsShared_ has the next node at that depth
    // build into fresh storage.
    std::vector<const NodeRecords*> recordsAt_;
    std::vector<std::shared_ptr<const NodeRecords>> heldRecords_;
    std::vector<std::shared_ptr<NodeRecords>> ownRecords_;
    std::vector<char> ownRecordsShared_;
    std::vector<ItemRecord> repeated_;  // scratch: an entry's records that start before its position
    NodeArray selected_;                // scratch: the records an entry keeps
    // Per entry of the node being checked: how far up the chain it stands, the entry of that
    // depth's node and, with repeated items, the chain position there.
    struct ChainState {
        uint32_t stamp = 0;
        int32_t depth = 0, entry = 0, end = 0;
    };
    std::vector<ChainState> chains_;
    uint32_t chainCall_ = 0;
    // Per position of the last pruning check: the largest entry among those that left no item
    // in common there.
    std::vector<int32_t> deadAt_;

    std::deque<ItemLevel> levels_;         // levels_[d]: the children visited at depth d
    std::vector<ItemNodeEntries> path_;    // path_[d]: entries of the node at depth d
    std::vector<int32_t> pattern_;         // dense ids of the current path
    std::vector<int32_t> outputPattern_;   // pattern_ with a -1 after every item
};

}  // namespace korvplus
