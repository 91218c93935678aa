// The search for closed patterns over sequences of itemsets.
//
// SequenceMiner holds one run's state: the database (see search_database.h), the threshold, the
// per-item working arrays shared by every level of the search, and the results. The search is
// depth first in pre-order: frequent single items in ascending id; below a pattern, first its
// sequence extensions (the item forms a new last event), then its itemset extensions (the item
// joins the last event), each kind in ascending id. A pattern is written the moment it is judged
// closed, so it always precedes its extensions.
//
// A pattern is a flat list: the items of each event followed by -1 (it always ends with -1).
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
// Per-item working arrays, indexed by dense item id, itemCount slots each:
//   seqExtCount / itemExtCount   support of an item as a sequence / itemset extension; 0 at rest
//   seqExtStamp / itemExtStamp   stamp of the last entry that counted the item; -1 = never stamped
//   seqExtIndex / itemExtIndex   child number among the frequent extensions; -1 = not frequent
// Invariant between uses: every slot holds its rest value (0 / -1 / -1). Each user records the
// items it touches and restores only those slots, so no step of the search costs time
// proportional to itemCount.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "event_scan.h"
#include "search_database.h"
#include "search_hooks.h"
#include "search_progress.h"

namespace korvplus {

struct ProjectedDatabase {
    const int32_t* positions = nullptr;
    int32_t size = 0;
};

class SequenceMiner : private ClosedCollector {
public:
    // Receives each closed pattern in file ids, and its number of items.
    using PatternSink = std::function<void(std::span<const int32_t> pattern, int32_t itemsInPattern)>;

    // `minSupport` is the absolute threshold; values below 1 mine as 1 (a pattern needs a
    // supporting sequence). `maxSequenceItems` sizes the length histogram.
    SequenceMiner(SearchDatabase database, int32_t minSupport, int32_t maxSequenceItems, PatternSink sink);

    // Publishes the search's progress to `progress` (may be null; must outlive the search).
    void setProgress(SearchProgress* progress) { progress_ = progress; }

    // Runs the whole search once.
    void mineClosedPatterns();

    int64_t closedCount() const { return closedCount_; }
    // Slot d counts closed patterns of d + 1 items.
    const std::vector<int64_t>& lengthHistogram() const { return lengthHistogram_; }
    // Wall-clock time of the search proper, in whole milliseconds.
    int32_t elapsedMilliseconds() const { return elapsedMilliseconds_; }

private:
    // The children of one search node, with their projected databases back to back. One Level per
    // depth, reused by every node at that depth (clear() keeps capacity).
    struct Level {
        std::vector<int32_t> childItem;     // ascending within each kind
        std::vector<int32_t> childSupport;
        std::vector<int32_t> childBegin;    // first index of the child's positions in `positions`
        std::vector<int32_t> positions;
        int32_t sequenceChildren = 0;       // children [0, sequenceChildren) are sequence extensions
        int32_t nextChild = 0;              // next child to visit

        int32_t childCount() const { return static_cast<int32_t>(childItem.size()); }
        ProjectedDatabase projection(int32_t child) const {
            return {positions.data() + childBegin[std::size_t(child)], childSupport[std::size_t(child)]};
        }
    };

    void buildSingleItemLevel();
    void growPattern(ProjectedDatabase projection, int32_t support, int32_t depth);
    void countExtensions(ProjectedDatabase projection, const int32_t* lastEvent);
    void fillSequenceChildren(ProjectedDatabase projection, Level& level);
    void fillItemsetChildren(ProjectedDatabase projection, const int32_t* lastEvent, Level& level);
    void restoreExtensionArrays();
    Level& levelAt(int32_t depth);

    // The two checks of a candidate pattern (`pattern_`), see backward_checks.cpp.
    // hasBackwardExtension reads lastAppearance_, so it runs for the node growPattern just counted.
    bool canPruneSubtree(ProjectedDatabase projection);
    int32_t hasBackwardExtension(ProjectedDatabase projection);
    bool scanWindows(ProjectedDatabase projection, bool fromLastInstance);
    void locateEntry(ProjectedDatabase projection, int32_t entry, bool fromLastInstance);
    bool scanLevel(ProjectedDatabase projection, int32_t level, bool fromLastInstance);
    int32_t startForLevel(int32_t entry, int32_t level);

    void extendPattern(const Level& level, int32_t child);
    void retractPattern(const Level& level, int32_t child);
    void reportClosed(int32_t depth);
    void collect(std::span<const int32_t> pattern, int32_t depth) override;
    void mineSingleItemEvents();

    // The index of the first item of the sequence that holds `position`.
    int32_t sequenceStartOf(int32_t position) const;

    SearchDatabase database_;
    const int32_t* data_ = nullptr;  // database_.values.data()
    // Index of every -2, ascending (sequenceEnds_[0] == 0), and for each block of
    // kStartBlock positions the number of the first -2 at or after the block's first position.
    static constexpr int32_t kStartBlockBits = 4;
    std::vector<int32_t> sequenceEnds_;
    std::vector<int32_t> firstEndOfBlock_;
    int32_t minSupport_;
    PatternSink sink_;
    SearchProgress* progress_ = nullptr;

    std::vector<int32_t> seqExtCount_, seqExtStamp_, seqExtIndex_;
    std::vector<int32_t> itemExtCount_, itemExtStamp_, itemExtIndex_;
    std::vector<int32_t> touchedSeq_, touchedItem_;  // items whose slots are away from rest
    std::vector<int32_t> frequentItems_;   // scratch of growPattern: the frequent extensions of a kind
    std::vector<int32_t> lastAppearance_;  // per entry of the node being grown, see countExtensions

    std::deque<Level> levels_;        // stable references while deeper levels are added
    std::vector<int32_t> pattern_;    // the pattern of the current search path (dense ids)
    std::vector<int32_t> outputPattern_;

    // Working storage of the checks, one candidate at a time.
    std::vector<int32_t> eventBegin_;   // index in pattern_ of the first item of each event
    std::vector<int32_t> starts_;       // per entry: where the stretch of level startLevels_ begins
    std::vector<int32_t> startLevels_;
    std::vector<int32_t> appearances_;  // per entry, eventCount slots: see locateEntry

    int64_t closedCount_ = 0;
    std::vector<int64_t> lengthHistogram_;
    int64_t searchStart_ = 0;  // steady clock reading in milliseconds
    int32_t elapsedMilliseconds_ = 0;
};

}  // namespace korvplus
