#include "sequence_miner.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <utility>

#include "item_sequence_search.h"
#include "itemset_search.h"
#include "parallel_search.h"

#if defined(__linux__)
#include <sched.h>
#endif

namespace korvplus {

namespace {

int64_t steadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int32_t availableCpus() {
#if defined(__linux__)
    cpu_set_t cpus;
    if (sched_getaffinity(0, sizeof cpus, &cpus) == 0) return std::max(1, CPU_COUNT(&cpus));
#endif
    return int32_t(std::max(1u, std::thread::hardware_concurrency()));
}

SequenceMiner::SequenceMiner(SearchDatabase database, int32_t minSupport, int32_t maxSequenceItems,
                             PatternSink sink)
    : database_(std::move(database)),
      minSupport_(std::max<int32_t>(minSupport, 1)),
      sink_(std::move(sink)),
      lengthHistogram_(std::size_t(std::max<int32_t>(maxSequenceItems, 0)), 0) {}

void SequenceMiner::collect(std::span<const int32_t> pattern, int32_t depth) {
    ++closedCount_;
    if (std::size_t(depth) >= lengthHistogram_.size()) lengthHistogram_.resize(std::size_t(depth) + 1, 0);
    ++lengthHistogram_[std::size_t(depth)];
    if (progress_) progress_->closedPatterns.store(closedCount_, std::memory_order_relaxed);
    if (!sink_) return;
    outputPattern_.clear();
    for (const int32_t value : pattern)
        outputPattern_.push_back(value < 0 ? value : database_.originalIds[std::size_t(value)]);
    sink_(outputPattern_, depth + 1);
}

void SequenceMiner::singleItemDone() {
    if (progress_) progress_->itemsDone.fetch_add(1, std::memory_order_relaxed);
}

template <class Engine, class Task>
void SequenceMiner::search(Task root, const std::function<std::unique_ptr<Engine>(ClosedCollector&)>& makeEngine) {
    if (progress_) progress_->itemsTotal.store(root.level.childCount(), std::memory_order_relaxed);
    if (threads_ == 1) {
        std::unique_ptr<Engine> engine = makeEngine(*this);
        NoSharing<Task> serial;
        engine->mine(root, serial);
        return;
    }
    ParallelSearch<Engine, Task> parallel(
        threads_, makeEngine, [this](std::span<const int32_t> pattern, int32_t depth) { collect(pattern, depth); },
        [this] { singleItemDone(); }, splitAtEveryNode_, bufferLimitBytes_);
    parallel.run(std::move(root));
}

// The clock covers building the single items' projections and the whole search.
void SequenceMiner::mineClosedPatterns() {
    const int64_t searchStart = steadyMilliseconds();
    if (database_.singleItemEvents) {
        const CompactDatabase compact = compactSingleItemDatabase(database_);
        std::vector<int32_t>().swap(database_.values);  // the compact copy replaces it
        NodeRecords rootRecords;
        const std::function<std::unique_ptr<ItemSequenceSearch>(ClosedCollector&)> makeEngine =
            [&](ClosedCollector& collector) {
                return std::make_unique<ItemSequenceSearch>(compact, minSupport_, collector);
            };
        ItemTask root = makeEngine(*this)->singleItemTask(rootRecords);
        search<ItemSequenceSearch>(std::move(root), makeEngine);
    } else {
        const SequenceStarts starts(database_.values);
        const std::function<std::unique_ptr<ItemsetSearch>(ClosedCollector&)> makeEngine =
            [&](ClosedCollector& collector) {
                return std::make_unique<ItemsetSearch>(database_, starts, minSupport_, collector);
            };
        ItemsetTask root = makeEngine(*this)->singleItemTask();
        search<ItemsetSearch>(std::move(root), makeEngine);
    }
    const int64_t elapsed = steadyMilliseconds() - searchStart;
    elapsedMilliseconds_ = int32_t(std::min<int64_t>(elapsed, INT32_MAX));
}

}  // namespace korvplus
