// The search for closed patterns over sequences of events (each event a set of items).
//
// SequenceMiner holds one run: the database (see search_database.h), the threshold, the results
// and how many threads search. Depth 0 is a one-item pattern: lengthHistogram slot d counts
// closed patterns of d + 1 items. The search is depth first in pre-order: frequent single items
// in ascending id; below a pattern, first its sequence extensions (the item forms a new last
// event), then its itemset extensions (the item joins the last event), each kind in ascending id.
// A pattern is handed to the sink the moment it is judged closed, so it precedes its extensions.
//
// Two engines search: ItemSequenceSearch when every event holds one item, ItemsetSearch
// otherwise; both find the same patterns in the same order. With one thread the engine runs the
// plain serial search; with more, ParallelSearch splits it and commits in the same order, so the
// sink receives the same calls whatever the thread count.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "search_database.h"
#include "search_hooks.h"
#include "search_progress.h"

namespace korvplus {

// The number of threads the search uses by default: the CPUs this process may run on.
int32_t availableCpus();

class SequenceMiner : private ClosedCollector {
public:
    // Receives each closed pattern in file ids, and its number of items.
    using PatternSink = std::function<void(std::span<const int32_t> pattern, int32_t itemsInPattern)>;

    // `minSupport` is the absolute threshold; values below 1 mine as 1 (a pattern needs a
    // supporting sequence). `maxSequenceItems` sizes the length histogram.
    SequenceMiner(SearchDatabase database, int32_t minSupport, int32_t maxSequenceItems, PatternSink sink);

    // Publishes the search's progress to `progress` (may be null; must outlive the search).
    void setProgress(SearchProgress* progress) { progress_ = progress; }
    // How many threads search; 1 (the default) runs the serial search.
    void setThreadCount(int32_t threads) { threads_ = threads < 1 ? 1 : threads; }
    // For tests of the parallel search: split off work at every node, not only when a thread
    // idles, and bound the patterns waiting for their turn to `bufferLimitBytes`.
    void setParallelStress(bool splitAtEveryNode, std::size_t bufferLimitBytes) {
        splitAtEveryNode_ = splitAtEveryNode;
        bufferLimitBytes_ = bufferLimitBytes;
    }

    // Runs the whole search once.
    void mineClosedPatterns();

    int64_t closedCount() const { return closedCount_; }
    // Slot d counts closed patterns of d + 1 items.
    const std::vector<int64_t>& lengthHistogram() const { return lengthHistogram_; }
    // Wall-clock time of the search proper, in whole milliseconds.
    int32_t elapsedMilliseconds() const { return elapsedMilliseconds_; }

private:
    // Runs an engine's root task serially or on threads_ threads.
    template <class Engine, class Task>
    void search(Task root, const std::function<std::unique_ptr<Engine>(ClosedCollector&)>& makeEngine);

    // Counts a closed pattern (dense ids) and hands it to the sink; always in search order.
    void collect(std::span<const int32_t> pattern, int32_t depth) override;
    void singleItemDone() override;

    SearchDatabase database_;
    int32_t minSupport_;
    PatternSink sink_;
    SearchProgress* progress_ = nullptr;
    int32_t threads_ = 1;
    bool splitAtEveryNode_ = false;
    std::size_t bufferLimitBytes_ = std::size_t(64) << 20;

    std::vector<int32_t> outputPattern_;
    int64_t closedCount_ = 0;
    std::vector<int64_t> lengthHistogram_;
    int32_t elapsedMilliseconds_ = 0;
};

}  // namespace korvplus
