// The one place that starts search threads: the threaded scheduler's workers (parallel_search.h)
// and, in a cluster run, the threads a follower process serves its leader with
// (cluster_search.h) both run through here.
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

namespace korvcore {

// Runs body(0) .. body(count - 1) at once, body(0) on the calling thread, and returns when all
// have returned. `body` must not throw.
template <class Body>
void runOnThreads(int32_t count, Body body) {
    std::vector<std::thread> others;
    for (int32_t index = 1; index < count; ++index) others.emplace_back([&body, index] { body(index); });
    body(0);
    for (std::thread& thread : others) thread.join();
}

}  // namespace korvcore
