#include "sequence_miner.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <utility>

#include "compact_database.h"
#include "itemset_search.h"
#include "single_item_search.h"

namespace korvplus {

namespace {

int64_t steadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

SequenceMiner::SequenceMiner(SearchDatabase database, int32_t minSupport, int32_t maxSequenceItems,
                             PatternSink sink)
    : database_(std::move(database)),
      minSupport_(std::max<int32_t>(minSupport, 1)),
      sink_(std::move(sink)),
      lengthHistogram_(std::size_t(std::max<int32_t>(maxSequenceItems, 0)), 0) {}

korvcore::SearchTotals searchDatabase(SearchDatabase& database, int32_t minSupport, const korvcore::PatternSink& sink,
                                      const korvcore::SearchOptions& options) {
    minSupport = std::max<int32_t>(minSupport, 1);
    if (database.singleItemEvents) {
        const korvcore::CompactDatabase compact = korvcore::compactOneItemEvents(database.values, database.itemCount());
        std::vector<int32_t>().swap(database.values);  // the compact copy replaces it
        return korvcore::mineSingleItems(compact, minSupport, sink, options);
    }
    const SequenceStarts starts(database.values);
    const std::function<std::unique_ptr<ItemsetSearch>(korvcore::ClosedCollector&)> makeEngine =
        [&](korvcore::ClosedCollector& collector) {
            return std::make_unique<ItemsetSearch>(database, starts, minSupport, collector);
        };
    korvcore::NullCollector none;
    ItemsetTask root = ItemsetSearch(database, starts, minSupport, none).singleItemTask();
    return korvcore::runSearch<ItemsetSearch>(std::move(root), makeEngine, sink, options);
}

// The clock covers building the single items' projections and the whole search.
void SequenceMiner::mineClosedPatterns() {
    const int64_t searchStart = steadyMilliseconds();
    std::vector<int32_t> outputPattern;
    const korvcore::PatternSink toFileIds = [&](std::span<const int32_t> pattern, int32_t depth, int32_t) {
        if (!sink_) return true;
        outputPattern.clear();
        for (const int32_t value : pattern)
            outputPattern.push_back(value < 0 ? value : database_.originalIds[std::size_t(value)]);
        sink_(outputPattern, depth + 1);
        return true;
    };
    const korvcore::SearchTotals totals = searchDatabase(database_, minSupport_, toFileIds, options_);
    closedCount_ = totals.closed;
    if (totals.byDepth.size() > lengthHistogram_.size()) lengthHistogram_.resize(totals.byDepth.size(), 0);
    for (std::size_t d = 0; d < totals.byDepth.size(); ++d) lengthHistogram_[d] += totals.byDepth[d];
    const int64_t elapsed = steadyMilliseconds() - searchStart;
    elapsedMilliseconds_ = int32_t(std::min<int64_t>(elapsed, INT32_MAX));
}

}  // namespace korvplus
