// Counters a running search publishes for a progress display on another thread.
//
// Invariants:
//   1. 0 <= items_done <= items_total once items_total is set (before the first item is mined).
//   2. closed_found only grows; at the end it equals the total of the length histogram.
// The search writes them with relaxed stores; a reader sees each value on its own. The owner of
// the display owns the struct.
#pragma once

#include <atomic>
#include <cstdint>

namespace korv {

struct search_progress {
    std::atomic<std::int64_t> closed_found{0};
    std::atomic<std::int32_t> items_done{0};   // frequent single items whose whole subtree is done
    std::atomic<std::int32_t> items_total{0};  // frequent single items
};

}  // namespace korv
