// The search for frequent closed sequences in a loaded sequence_db, on the search core's
// single-item engine (single_item_search.h; words as in engine_interface.h).
//
// A pattern is a sequence of items; it is contained in a sequence when its items occur there in
// order, gaps allowed, and its support is the number of sequences that contain it. A frequent
// pattern (support >= abs_support) is closed when no pattern with one more item inserted
// anywhere has the same support. The search grows patterns depth first by appending one item,
// children in increasing item id, and reports each closed pattern before its extensions, so the
// patterns come out in lexicographic order of their item lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "run_vector.h"
#include "search_progress.h"
#include "sequence_db.h"

namespace korv {

// Receives every closed sequence the moment it is found: its item ids as in the data file, in
// pattern order, and its support. Returning false stops the search.
class closed_sink {
public:
    virtual ~closed_sink() = default;
    virtual bool write_closed(std::span<const std::int32_t> items, std::int32_t support) = 0;
};

struct mining_result {
    // length_histogram[k]: number of closed sequences of k items; slot 0 stays 0.
    run_vector<std::int64_t> length_histogram;
    // True when the sink asked to stop; the histogram then counts the patterns found so far.
    bool stopped = false;
};

struct thread_options {
    // Threads that search; 1 runs the plain serial search on the calling thread.
    int threads = 1;
    // Bytes of found sequences that may wait for their turn to reach the sink.
    std::size_t output_limit_bytes = std::size_t{64} << 20;
    // For tests: every search node gives its unexplored siblings away, as if a thread were idle.
    bool always_split = false;
};

// Mines every closed sequence of `db` with support >= abs_support (at least 1), handing each to
// `sink` when there is one. When `progress` is given (it must outlive the call), the counters
// are kept current while the search runs. At every thread count the sink receives the same
// sequences in the same order, always from one thread at a time, and the histogram is the same.
mining_result mine_closed(const sequence_db& db, std::int32_t abs_support, closed_sink* sink,
                          korvcore::SearchProgress* progress = nullptr, const thread_options& options = {});

}  // namespace korv
