// The search engine for sequences of single items (every event holds one item): used by korv and
// korvdump, and by korvplus when every event of its database holds one item.
//
// It runs on a CompactDatabase (compact_database.h) with per-entry links to each pattern's first
// instance and per-node records of the frequent extensions (node_storage.h), so that neither the
// forward counting nor the two checks re-derive an instance from the sequence start. Words as in
// engine_interface.h.
//
// The search is depth first in pre-order: frequent single items in ascending id, children in
// ascending id. A node is reported closed when no child has its support (forward) and the
// backward check finds no window shared by every entry; a child whose pruning check finds a
// shared window is skipped with its subtree. Growth is in single_item_search.cpp, the two checks
// in window_checks.cpp.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "checked_vector.h"
#include "compact_database.h"
#include "engine_interface.h"
#include "node_storage.h"
#include "search_run.h"

namespace korvcore {

// What the pruning check of a node leaves for the backward check of the same node: per pattern
// position, the largest entry among those that left no item in common there. The backward check
// may skip a position whose dying entries all have the same windows in both checks.
struct PruningMemo {
    CheckedVector<int32_t> deadAt;
};

class SingleItemSearch {
public:
    SingleItemSearch(const CompactDatabase& database, int32_t minSupport, ClosedCollector& collector);

    // The task of the whole search: every frequent single item with its entries. `root` receives
    // the empty pattern's records; it must outlive every task.
    ItemTask singleItemTask(NodeRecords& root);

    // Mines the subtrees of every child of the task's level, in order, reporting each closed
    // pattern to the collector. Children handed to `sharing` are not mined here. False when the
    // search stopped (the collector refused a pattern or sharing asked to stop).
    bool mine(ItemTask& task, WorkSharing<ItemTask>& sharing);

private:
    // Counts the forward extensions of the node at `depth` from its parent's records, keeps its
    // own records of the frequent ones and builds those children into levels_[depth + 1];
    // returns how many have the node's own support.
    template <bool UniqueItems>
    int32_t buildChildren(ItemNodeEntries node, int32_t depth);
    // The children of the empty pattern (the frequent single items) and its records.
    void buildSingleItems(NodeRecords& root);
    template <class Keeper>
    void keepSingleItemRecords(Keeper keeper, NodeRecords& root, int32_t* stamp);
    // The frequent items frequent_[0, frequentCount) (`ascending`, or in any order) become the
    // level's children, in ascending id, with room for their entries, and every touched count is
    // back at rest; returns how many have count == support.
    struct FrequentTotals {
        int32_t equalSupport, entries;
    };
    FrequentTotals takeFrequent(ItemLevel& level, int32_t support, int32_t frequentCount, bool ascending);
    void restoreItemSlots(ItemLevel& level);
    // Storage for the records of the node at `depth`, which recordsAt_ then points at.
    NodeRecords& ownRecords(int32_t depth);
    // Builds the node's children and reports the node when it is closed; false when the
    // collector refused it.
    bool growNode(ItemNodeEntries node, int32_t depth, const PruningMemo& memo);
    ItemLevel& levelAt(int32_t depth);
    // Hands the unstarted children of the shallowest level from baseDepth to `depth` to sharing.
    void shareWork(int32_t baseDepth, int32_t depth, WorkSharing<ItemTask>& sharing);

    // The checks (window_checks.cpp) of the node at `depth`, whose entries path_[depth] holds.
    // The pruning check of a node about to be visited; fills `memo` for its backward check.
    bool pruned(ItemNodeEntries node, int32_t depth, PruningMemo& memo);
    // False when the backward check finds an item shared by every window (repeated items only:
    // without them the pruning check has answered it).
    bool backwardClosed(ItemNodeEntries node, int32_t depth, const PruningMemo& memo);
    // True when some pattern position has an item in the same window of every entry. Each
    // position's dying entry goes to recordDeaths (if given); a position that skipDead (if given)
    // shows dead within the first `sameWindows` entries is skipped.
    template <bool UniqueItems>
    bool windowsShareItem(ItemNodeEntries node, int32_t depth, WindowEnd windowEnd, PruningMemo* recordDeaths,
                          const PruningMemo* skipDead, int32_t sameWindows);
    // Scratch of the window checks, per entry of the node being checked: how far up the chain it
    // stands, the entry of that depth's node and, with repeated items, the window end there.
    struct ChainState {
        uint32_t stamp = 0;
        int32_t depth = 0, entry = 0, end = 0;
    };
    // What one window check reads to walk an entry's chain: the per-entry states of this call
    // (valid where stamp == call), the path with its records (recordsAt_), the database's
    // nextSame, the checked node at `depth` and the window end of each record of the node's
    // parent: its last position for the backward check, its first for the pruning check (ownEnd
    // points at that cell of record 0; a record's cells are kRecordCells apart).
    struct ChainWalk {
        ChainState* chains;
        uint32_t call;
        const ItemNodeEntries* path;
        const NodeRecords* const* recordsAt;
        const int32_t* nextSame;
        ItemNodeEntries node;
        int32_t depth;
        const int32_t* ownEnd;
    };
    // The records that hold the windows of position i: those of the node at depth i - 1, and
    // the links of the node at depth i into them.
    template <bool UniqueItems>
    struct PositionRecords {
        int32_t i;
        RecordCells<UniqueItems> cells;
        const EntryLink* link;
    };
    template <bool UniqueItems>
    void chainWindow(const ChainWalk& walk, int32_t k, const PositionRecords<UniqueItems>& records, int32_t& begin,
                     int32_t& stop) const;

    const int32_t* items_;
    const int32_t* nextSame_;
    const CompactDatabase& database_;
    const bool uniqueItems_;
    int32_t minSupport_;
    ClosedCollector& collector_;

    // Per item. At rest count_ 0 (restored through touched_ by takeFrequent), childIndex_ -1
    // (restored through the level's children) and tally_ 0 (restored from the window of a
    // check's first entry).
    CheckedVector<int32_t> count_, childIndex_, tally_;
    CheckedVector<int32_t> touched_;  // itemCount slots; the first touchedCount_ are in use
    int32_t touchedCount_ = 0;
    CheckedVector<int32_t> frequent_;  // itemCount slots: the items found frequent, any order
    // [d + 1]: the records of the node at depth d on the path. Below the task's depth they are the
    // task's (heldRecords_); from it on they are built here into ownRecords_. Records a task given
    // away shares are never written again: ownRecordsShared_ has the next node at that depth
    // build into fresh storage.
    std::vector<const NodeRecords*> recordsAt_;
    std::vector<std::shared_ptr<const NodeRecords>> heldRecords_;
    std::vector<std::shared_ptr<NodeRecords>> ownRecords_;
    std::vector<char> ownRecordsShared_;
    CheckedVector<ItemRecord> repeated_;  // scratch: an entry's records that start before its position
    NodeArray selected_;                  // scratch: the records an entry keeps
    CheckedVector<ChainState> chains_;
    uint32_t chainCall_ = 0;
    PruningMemo memo_;

    std::deque<ItemLevel> levels_;         // levels_[d]: the children visited at depth d
    std::vector<ItemNodeEntries> path_;    // path_[d]: entries of the node at depth d
    CheckedVector<int32_t> pattern_;       // dense ids of the current path
    CheckedVector<int32_t> outputPattern_; // pattern_ with a -1 after every item
};

// Mines every closed pattern of `database` with support >= minSupport (values below 1 mine as
// 1) and hands each to `sink` in search order; see search_run.h for threads and totals.
SearchTotals mineSingleItems(const CompactDatabase& database, int32_t minSupport, const PatternSink& sink,
                             const SearchOptions& options);

}  // namespace korvcore
