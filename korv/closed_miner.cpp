#include "closed_miner.h"

#include <algorithm>

#include "single_item_search.h"

namespace korv {

mining_result mine_closed(const sequence_db& db, std::int32_t abs_support, closed_sink* sink,
                          korvcore::SearchProgress* progress, const thread_options& options) {
    // The engine's patterns hold dense ranks, each followed by -1; the sink takes file ids.
    run_vector<std::int32_t> ids;
    const korvcore::PatternSink to_file_ids = [&](std::span<const std::int32_t> pattern, std::int32_t,
                                                  std::int32_t support) {
        if (sink == nullptr) return true;
        ids.clear();
        for (const std::int32_t rank : pattern)
            if (rank >= 0) push_or_exit(ids, db.item_ids[static_cast<std::size_t>(rank)]);
        return sink->write_closed(ids, support);
    };
    const korvcore::SearchOptions search_options{.threads = options.threads,
                                                 .progress = progress,
                                                 .bufferLimitBytes = options.output_limit_bytes,
                                                 .splitAtEveryNode = options.always_split};
    const korvcore::SearchTotals totals =
        korvcore::mineSingleItems(db.compact, std::max(abs_support, 1), to_file_ids, search_options);

    mining_result result;
    resize_or_exit(result.length_histogram, totals.byDepth.size() + 1, std::int64_t{0});
    for (std::size_t depth = 0; depth < totals.byDepth.size(); ++depth)
        result.length_histogram[depth + 1] = totals.byDepth[depth];
    result.stopped = totals.stopped;
    return result;
}

}  // namespace korv
