// The search for closed patterns over sequences of events (each event a set of items).
//
// SequenceMiner holds one run: the database (see search_database.h), the threshold, the results
// and the search options. Words (depth, entry, window) as in engine_interface.h: lengthHistogram
// slot d counts closed patterns of d + 1 items. The search is depth first in pre-order: frequent
// single items in ascending id; below a pattern, first its sequence extensions (the item forms a
// new last event), then its itemset extensions (the item joins the last event), each kind in
// ascending id. A pattern is handed to the sink the moment it is judged closed, so it precedes
// its extensions.
//
// Two engines search: the shared single-item engine (single_item_search.h) when every event
// holds one item, ItemsetSearch otherwise; both find the same patterns in the same order.
// runSearch (search_run.h) runs either serially or on threads with the same sink calls.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "search_database.h"
#include "search_run.h"

namespace korvplus {

// Mines `database` with the engine its events call for, handing each closed pattern (dense ids)
// to `sink` in search order; the database's values are released once the search has its own
// form of them. minSupport below 1 mines as 1.
korvcore::SearchTotals searchDatabase(SearchDatabase& database, int32_t minSupport, const korvcore::PatternSink& sink,
                                      const korvcore::SearchOptions& options);

class SequenceMiner {
public:
    // Receives each closed pattern in file ids, and its number of items.
    using PatternSink = std::function<void(std::span<const int32_t> pattern, int32_t itemsInPattern)>;

    // `minSupport` is the absolute threshold; values below 1 mine as 1 (a pattern needs a
    // supporting sequence). `maxSequenceItems` sizes the length histogram.
    SequenceMiner(SearchDatabase database, int32_t minSupport, int32_t maxSequenceItems, PatternSink sink);

    // Threads (1, the default, runs the serial search), progress counters (may be null; must
    // outlive the search) and the test settings of the threaded search.
    void setOptions(const korvcore::SearchOptions& options) { options_ = options; }

    // Runs the whole search once.
    void mineClosedPatterns();

    int64_t closedCount() const { return closedCount_; }
    // Slot d counts closed patterns of d + 1 items.
    const std::vector<int64_t>& lengthHistogram() const { return lengthHistogram_; }
    // Wall-clock time of the search proper, in whole milliseconds.
    int32_t elapsedMilliseconds() const { return elapsedMilliseconds_; }

private:
    SearchDatabase database_;
    int32_t minSupport_;
    PatternSink sink_;
    korvcore::SearchOptions options_;

    int64_t closedCount_ = 0;
    std::vector<int64_t> lengthHistogram_;
    int32_t elapsedMilliseconds_ = 0;
};

}  // namespace korvplus
