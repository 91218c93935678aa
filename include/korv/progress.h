// Counters a running search publishes, for a progress display on another thread.
//
// Invariants:
//   1. 0 <= itemsDone <= itemsTotal once itemsTotal is set (before the first item is mined).
//   2. closedFound only grows; at the end it equals the number of closed patterns delivered.
// The search writes them with relaxed stores; a reader sees each value on its own, so a display
// may show a closed count one item ahead of itemsDone. The caller owns the struct.
#pragma once

#include <atomic>
#include <cstdint>

namespace korv {

struct Progress {
    std::atomic<int64_t> closedFound{0};
    std::atomic<int32_t> itemsDone{0};   // frequent single items whose whole subtree is done
    std::atomic<int32_t> itemsTotal{0};  // frequent single items
};

}  // namespace korv
