// The search over sequences of itemsets; words (depth, entry, window, pattern) as in the core's
// engine_interface.h.
//
// An ItemsetSearch holds the working arrays of one search thread: the per-item arrays shared by
// every level of its search, its levels and its current pattern. The search is depth first in
// pre-order: frequent single items in ascending id; below a pattern, first its
// sequence extensions (the item forms a new last event), then its itemset extensions (the item
// joins the last event), each kind in ascending id. A pattern is written the moment it is judged
// closed, so it always precedes its extensions.
//
// ProjectedDatabase: the projected database of a pattern, a read-only view of positions.
//   1. One position per sequence that contains the pattern, strictly ascending (so in sequence
//      order); size == support of the pattern.
//   2. A position is an index into the database just after the item that completes the first
//      instance of the pattern in its sequence; when the element there is an item that is not a
//      frequent extension of the kind being built, the position steps over that one item.
//   3. So values[position - 1] is always an item and values[position] is an item of the same
//      event or the -1 that closes it. Positions of different sequences differ, and each serves
//      as the stamp of its entry in the counting arrays.
//
// Per-item working slots, indexed by dense item id (see ItemSlots): for each kind of extension
// (sequence / itemset) a count, a stamp and a child index. Invariant between uses: every slot
// holds its rest value (sequence.candidateLevel aside, which follows the search path). Each user
// records the items it touches and restores only those, so no step of the search costs time
// proportional to itemCount.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "checked_vector.h"
#include "event_scan.h"
#include "search_database.h"
#include "engine_interface.h"

namespace korvplus {

using korvcore::ClosedCollector;
using korvcore::WindowEnd;
using korvcore::WorkSharing;

// One item's working values for one kind of extension.
struct ExtensionSlot {
    int32_t count = 0;   // support of the item as an extension of this kind; 0 at rest
    int32_t stamp = -1;  // stamp of the last entry that counted the item; -1 = never stamped
    int32_t index = -1;  // child number among the frequent extensions; -1 = not frequent
    // Sequence kind only, and not restored with the rest: see candidateLevel in ItemSlots.
    int32_t candidateLevel = -1;
};

// Both kinds of one item side by side in 32 aligned bytes, so that counting, marking or restoring
// an item touches one cache line.
//
// sequence.candidateLevel: the deepest level on the current search path whose sequence-extension
// children include the item (-1 = none). A sequence extension of a node is frequent only if it
// is one of its parent's: the node's supporting sequences are among the parent's, and its first
// instance ends no earlier. So those sets shrink down the path, and the item is a sequence child
// of levels_[d] exactly when candidateLevel >= d. A node at depth d counts sequence extensions
// only for such items; others cannot be frequent and are never listed as touched. A level
// raises its sequence children to its own number when it is built and lowers them back when it is
// left. A level keeps the list of its node's sequence extensions (candidateItems) whole when
// some of its children are handed to another thread, and the task takes a copy: the children it
// mines have the same candidates.
struct alignas(32) ItemSlots {
    ExtensionSlot sequence;
    ExtensionSlot itemset;
};

// The items whose slots are away from rest, in the order they were first touched. There is room
// for every item plus one, so a hot loop may write an item at `size` first and then decide, without
// a branch, whether to keep it.
struct TouchedItems {
    std::vector<int32_t> items;
    int32_t size = 0;
};

struct ProjectedDatabase {
    const int32_t* positions = nullptr;
    int32_t size = 0;
};

// Where each sequence starts, for any position: the index of every -2, ascending
// (sequenceEnds[0] == 0), and for each block of 2^kBlockBits positions the number of the first -2
// at or after the block's first position. Built once, read by every search thread.
struct SequenceStarts {
    static constexpr int32_t kBlockBits = 4;
    std::vector<int32_t> sequenceEnds;
    std::vector<int32_t> firstEndOfBlock;

    explicit SequenceStarts(const std::vector<int32_t>& values);
    // The index of the first item of the sequence that holds `position`.
    int32_t startOf(int32_t position) const {
        int32_t end = firstEndOfBlock[std::size_t(position >> kBlockBits)];
        while (sequenceEnds[std::size_t(end)] < position) ++end;
        return sequenceEnds[std::size_t(end) - 1] + 1;
    }
};

// The children of one search node, with their projected databases back to back. One Level per
// depth, reused by every node at that depth (clear() keeps capacity).
struct ItemsetLevel {
    std::vector<int32_t> childItem;     // ascending within each kind
    std::vector<int32_t> childSupport;
    std::vector<int32_t> childBegin;    // first index of the child's positions in `positions`
    std::vector<int32_t> positions;
    int32_t sequenceChildren = 0;       // children [0, sequenceChildren) are sequence extensions
    int32_t nextChild = 0;              // next child to visit
    // The items of the node's sequence extensions, all of them even after some children were
    // handed over: the candidates for its children's sequence extensions.
    std::vector<int32_t> candidateItems;

    int32_t childCount() const { return static_cast<int32_t>(childItem.size()); }
    ProjectedDatabase projection(int32_t child) const {
        return {positions.data() + childBegin[std::size_t(child)], childSupport[std::size_t(child)]};
    }
};

// A subtree to mine: the pattern of the node whose children `level` holds (empty for the single
// items), and those children with their projected databases.
struct ItemsetTask {
    std::vector<int32_t> pattern;
    ItemsetLevel level;
};

// The task as message words (task_words.h in the core), for a search thread in another process:
// a task of the root's level as its run of the root's children, any other whole. `root` is the
// run's root task, whole, in the writing and in the reading process.
void writeTask(const ItemsetTask& task, const ItemsetTask& root, korvcore::CheckedVector<int32_t>& words);
ItemsetTask readTask(std::span<const int32_t> words, const ItemsetTask& root);

class ItemsetSearch {
public:
    ItemsetSearch(const SearchDatabase& database, const SequenceStarts& starts, int32_t minSupport,
                  ClosedCollector& collector);

    // The task of the whole search: every frequent single item with its projected database.
    ItemsetTask singleItemTask();

    // Mines the subtrees of every child of the task's level, in order, reporting each closed
    // pattern to the collector. Children handed to `sharing` are not mined here.
    bool mine(ItemsetTask& task, WorkSharing<ItemsetTask>& sharing);

private:
    using Level = ItemsetLevel;

    // False when the collector refused the pattern: the search stops.
    bool growPattern(ProjectedDatabase projection, int32_t support, int32_t depth);
    // Sequence extensions are counted for items whose candidateLevel >= candidateDepth.
    void countExtensions(ProjectedDatabase projection, const int32_t* lastEvent, int32_t candidateDepth);
    void fillSequenceChildren(ProjectedDatabase projection, Level& level);
    void fillItemsetChildren(ProjectedDatabase projection, const int32_t* lastEvent, Level& level);
    void restoreItemSlots();
    void setCandidateLevel(const Level& level, int32_t value);
    // The stamp that marks an item as placed for the entry at position q while children are
    // filled: below -1, so it never equals a stamp that counting left (a position or -1), and
    // distinct per entry, so the counting stamps need no reset before filling.
    static int32_t placedStamp(int32_t q) { return -2 - q; }
    Level& levelAt(int32_t depth);
    // Hands the unstarted children of the shallowest level from baseDepth to `depth` to sharing.
    void shareWork(int32_t baseDepth, int32_t depth, WorkSharing<ItemsetTask>& sharing);

    // The two checks of a candidate pattern (`pattern_`), see backward_checks.cpp. The backward
    // check takes, per entry, the last appearance of the final event that counting found
    // (lastAppearance_ of the node growPattern just counted).
    bool canPruneSubtree(ProjectedDatabase projection);
    bool hasBackwardExtension(ProjectedDatabase projection, const int32_t* lastAppearance);
    bool scanWindows(ProjectedDatabase projection, WindowEnd windowEnd, const int32_t* lastAppearance);
    void locateEntry(ProjectedDatabase projection, int32_t entry, WindowEnd windowEnd, const int32_t* lastAppearance);
    bool scanLevel(ProjectedDatabase projection, int32_t level, WindowEnd windowEnd, const int32_t* lastAppearance);
    int32_t startForLevel(int32_t entry, int32_t level);

    void extendPattern(const Level& level, int32_t child);
    void retractPattern(const Level& level, int32_t child);

    const SearchDatabase& database_;
    const int32_t* data_ = nullptr;  // database_.values.data()
    const SequenceStarts& sequenceStarts_;
    int32_t minSupport_;
    ClosedCollector& collector_;

    // itemCount + 1 slots; items_ points at the second, so items_[-1] is a slot for the -1 that
    // ends an event: its index stays -1 and its stamps stay below every entry number, so a scan may
    // look it up instead of testing for the marker first. Nothing ever counts, marks or restores it.
    std::vector<ItemSlots> itemSlots_;
    ItemSlots* items_ = nullptr;
    TouchedItems touchedSeq_, touchedItem_;  // items whose sequence / itemset slots were touched
    std::vector<int32_t> frequentItems_;   // scratch of growPattern: the frequent extensions of both kinds
    std::vector<int32_t> lastAppearance_;  // per entry of the node being grown, see countExtensions

    std::deque<Level> levels_;          // stable references while deeper levels are added
    std::vector<int32_t> pattern_;      // the pattern of the current search path (dense ids)
    std::vector<int32_t> prefixLength_;  // per depth: pattern_.size() before its extension

    // Working storage of the checks, one candidate at a time.
    std::vector<int32_t> eventBegin_;   // index in pattern_ of the first item of each event
    std::vector<int32_t> starts_;       // per entry: where the stretch of level startLevels_ begins
    std::vector<int32_t> startLevels_;
    std::vector<int32_t> appearances_;  // per entry, eventCount slots: see locateEntry
};

}  // namespace korvplus
