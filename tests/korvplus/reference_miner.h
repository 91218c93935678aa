// Literal reference search used to cross-check the optimized itemset-sequence miner.
//
// It follows the miner's search step by step (per-item driver, recursive growth with the closure
// test, the pruning check and the backward-extension check) with none of the optimizations: every
// per-item array is a full array reset in full at every use, and nothing is shared with the
// production code. It is slow on purpose; use it on small databases only. Tests compare its
// output with the miner's, pattern for pattern and in the same order.
#pragma once

#include <cstdint>
#include <vector>

namespace reference {

struct ReferenceResult {
    // Closed patterns in the order they are written; each is the flat pattern list (the items of
    // each event followed by -1).
    std::vector<std::vector<int32_t>> patterns;
    // maxSequenceItems slots; slot d counts the closed patterns of d + 1 items.
    std::vector<int32_t> lengthHistogram;
    // Number of closed patterns written (equal to patterns.size()).
    int32_t closedCount = 0;
};

// sequenceData: index 0 holds -2, then the database words (items >= 0, -1 ends an event, -2 ends a
// sequence). Expected well-formed: every sequence ends with -1 -2, every event holds at least one
// item, ascending without repeats, every item < itemCount. minSupport >= 1. maxSequenceItems is the
// largest number of items in one sequence (the size of the histogram).
//
// Throws std::logic_error when a walk that the search relies on cannot complete (a sign of
// malformed input) and std::out_of_range when a pattern is longer than maxSequenceItems.
ReferenceResult referenceMine(const std::vector<int32_t>& sequenceData, int32_t itemCount, int32_t minSupport,
                              int32_t maxSequenceItems);

}  // namespace reference
