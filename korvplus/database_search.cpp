#include "database_search.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "compact_database.h"
#include "itemset_search.h"
#include "single_item_search.h"

namespace korvplus {

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

}  // namespace korvplus
