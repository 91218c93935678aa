// The search for closed patterns over sequences of events (each event a set of items), as the
// korv library runs it. Words (depth, entry, window) as in the core's engine_interface.h.
//
// Two engines search, in the order itemset_search.h states: the core's single-item engine
// (single_item_search.h) when every event holds one item, ItemsetSearch otherwise; both find the
// same patterns in the same order, and runSearch (search_run.h) runs either serially or on
// threads with the same sink calls.
#pragma once

#include <cstdint>

#include "search_database.h"
#include "search_run.h"

namespace korvplus {

// Mines `database` with the engine its events call for, handing each closed pattern (dense ids)
// to `sink` in search order; the database's values are released once the search has its own
// form of them. minSupport below 1 mines as 1.
korvcore::SearchTotals searchDatabase(SearchDatabase& database, int32_t minSupport, const korvcore::PatternSink& sink,
                                      const korvcore::SearchOptions& options);

}  // namespace korvplus
