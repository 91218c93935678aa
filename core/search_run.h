// One search run, serial or on threads, with its totals: the entry point both miners call.
//
// runSearch mines `root` with one engine per thread (makeEngine builds them) and hands every
// closed pattern to the sink in serial search order, one call at a time. Invariants:
//   1. threads == 1 runs the engine on the calling thread with no sharing at all: the serial
//      search. Any other count gives the same sink calls in the same order (ParallelSearch).
//   2. totals count exactly the patterns the sink accepted; byDepth[d] those at depth d.
//   3. a run stopped by the sink or by options.stop reports stopped; what the sink accepted is
//      then a prefix of the complete run's patterns.
//   4. progress (optional) has itemsTotal set before the search starts, closedFound current
//      after every accepted pattern and itemsDone == itemsTotal at the end of a complete run.
//   5. With options.cluster, the leader's run adds one worker per search thread of the other
//      processes (cluster_search.h) and gives the same sink calls; in another process runSearch
//      serves the leader's tasks and returns empty totals. Every process passes the same root.
//   6. An empty sink makes a counting run: the totals of a complete run are the same at every
//      thread count, but a threaded run keeps no order. Each engine counts what it finds and
//      adds its counts when its thread ends, so nothing waits in buffers; progress counts are
//      then current to within kCountingBatch patterns per thread.
//   7. options.trace (optional) records the costs of a serial run's subtrees (task_trace.h) and
//      changes none of its sink calls; other runs leave it as opened.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <utility>

#include "checked_vector.h"
#include "cluster_link.h"
#include "cluster_search.h"
#include "engine_interface.h"
#include "parallel_search.h"
#include "search_progress.h"
#include "task_trace.h"

namespace korvcore {

struct SearchOptions {
    int32_t threads = 1;
    SearchProgress* progress = nullptr;
    // Bytes of found patterns that may wait for their turn in a threaded run.
    std::size_t bufferLimitBytes = std::size_t(64) << 20;
    // For tests of the threaded search: hand work over at every node, not only to idle threads.
    bool splitAtEveryNode = false;
    // Set from any thread to stop the run (optional): the engines stop at their next node, and
    // the sink receives nothing more.
    const std::atomic<bool>* stop = nullptr;
    // The processes of a cluster run (optional, the MPI programs): options.threads counts this
    // process's threads.
    ClusterLink* cluster = nullptr;
    // Records what each subtree cost (optional, task_trace.h); only a serial run is traced.
    TaskTrace* trace = nullptr;
};

// Receives the closed patterns of a run in serial search order (see engine_interface.h for
// the pattern form). Returning false stops the run.
using PatternSink = std::function<bool(std::span<const int32_t> pattern, int32_t depth, int32_t support)>;

struct SearchTotals {
    int64_t closed = 0;
    CheckedVector<int64_t> byDepth;  // byDepth[d]: closed patterns at depth d; may end in zeros
    bool stopped = false;             // the sink asked to stop
};

namespace detail {

// Counts what the sink accepts, in the order it is called: the serial search's collector, and
// the commit of the threaded ones.
class CountingSink final : public ClosedCollector {
public:
    CountingSink(const PatternSink& sink, const SearchOptions& options)
        : sink_(sink), progress_(options.progress), stop_(options.stop) {}

    bool collect(std::span<const int32_t> pattern, int32_t depth, int32_t support) override {
        if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) return false;
        if (sink_ && !sink_(pattern, depth, support)) return false;
        ++totals.closed;
        if (std::size_t(depth) >= totals.byDepth.size()) totals.byDepth.resize(std::size_t(depth) + 1, 0);
        ++totals.byDepth[std::size_t(depth)];
        if (progress_) progress_->closedFound.store(totals.closed, std::memory_order_relaxed);
        return true;
    }
    void singleItemDone() override {
        if (progress_) progress_->itemsDone.fetch_add(1, std::memory_order_relaxed);
    }

    SearchTotals totals;

private:
    const PatternSink& sink_;
    SearchProgress* progress_;
    const std::atomic<bool>* stop_;
};

// The closed counts of a run, added to by the threads of a counting run as they end.
struct SharedTotals {
    std::mutex mutex;
    SearchTotals totals;

    // Adds closed patterns counted per depth, by one engine or in one follower's message.
    template <class Count>
    void add(std::span<const Count> byDepth) {
        std::lock_guard<std::mutex> lock(mutex);
        if (totals.byDepth.size() < byDepth.size()) totals.byDepth.resize(byDepth.size(), 0);
        for (std::size_t d = 0; d < byDepth.size(); ++d) {
            totals.byDepth[d] += byDepth[d];
            totals.closed += byDepth[d];
        }
    }
};

inline constexpr int64_t kCountingBatch = 4096;

// A counting run's engine: the engine with a collector that counts its patterns itself instead
// of handing them to the scheduler. singleItemDone and the work sharing still go to the
// scheduler's worker.
template <class Engine, class Task>
class CountingEngine {
public:
    CountingEngine(ClosedCollector& worker, const std::function<std::unique_ptr<Engine>(ClosedCollector&)>& makeEngine,
                   SharedTotals& shared, const SearchOptions& options)
        : collector_(worker, shared, options), engine_(makeEngine(collector_)) {}
    bool mine(Task& task, WorkSharing<Task>& sharing) { return engine_->mine(task, sharing); }

private:
    class Collector final : public ClosedCollector {
    public:
        Collector(ClosedCollector& worker, SharedTotals& shared, const SearchOptions& options)
            : worker_(worker), shared_(shared), progress_(options.progress), stop_(options.stop) {}
        ~Collector() {
            publishProgress();
            shared_.add(std::span<const int64_t>(byDepth_.data(), byDepth_.size()));
        }
        bool collect(std::span<const int32_t>, int32_t depth, int32_t) override {
            if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) return false;
            ++closed_;
            if (std::size_t(depth) >= byDepth_.size()) byDepth_.resize(std::size_t(depth) + 1, 0);
            ++byDepth_[std::size_t(depth)];
            if (closed_ - published_ >= kCountingBatch) publishProgress();
            return true;
        }
        void singleItemDone() override { worker_.singleItemDone(); }

    private:
        void publishProgress() {
            if (progress_) progress_->closedFound.fetch_add(closed_ - published_, std::memory_order_relaxed);
            published_ = closed_;
        }
        ClosedCollector& worker_;
        SharedTotals& shared_;
        SearchProgress* progress_;
        const std::atomic<bool>* stop_;
        int64_t closed_ = 0, published_ = 0;
        CheckedVector<int64_t> byDepth_;
    };
    Collector collector_;
    std::unique_ptr<Engine> engine_;
};

// The engines of a counting run on threads or processes, each adding its counts to `shared`.
template <class Engine, class Task>
std::function<std::unique_ptr<CountingEngine<Engine, Task>>(ClosedCollector&)> countingEngines(
    const std::function<std::unique_ptr<Engine>(ClosedCollector&)>& makeEngine, SharedTotals& shared,
    const SearchOptions& options) {
    return [&makeEngine, &shared, &options](ClosedCollector& worker) {
        return std::make_unique<CountingEngine<Engine, Task>>(worker, makeEngine, shared, options);
    };
}

// The serial search with the trace told of every node and pattern; out of line, so that the
// untraced search is compiled as it would be without the trace.
template <class Engine, class Task>
[[gnu::noinline]] bool traceSerialSearch(Task& root,
                                         const std::function<std::unique_ptr<Engine>(ClosedCollector&)>& makeEngine,
                                         CountingSink& counting, const SearchOptions& options) {
    TracedCollector traced(counting, *options.trace);
    TracedSharing<Task> sharing(*options.trace, options.stop);
    const bool complete = makeEngine(traced)->mine(root, sharing);
    options.trace->searchEnded();
    return complete;
}

}  // namespace detail

template <class Engine, class Task>
SearchTotals runSearch(Task root, const std::function<std::unique_ptr<Engine>(ClosedCollector&)>& makeEngine,
                       const PatternSink& sink, const SearchOptions& options) {
    ClusterLink* const cluster = options.cluster;
    if (cluster != nullptr && !cluster->leader()) {
        serveRemoteTasks<Engine, Task>(*cluster, root, makeEngine);
        return {};
    }
    detail::CountingSink counting(sink, options);
    if (options.progress) options.progress->itemsTotal.store(root.level.childCount(), std::memory_order_relaxed);
    bool complete = true;
    const auto commit = [&counting](std::span<const int32_t> pattern, int32_t depth, int32_t support) {
        return counting.collect(pattern, depth, support);
    };
    const auto itemDone = [&counting] { counting.singleItemDone(); };
    if (cluster != nullptr && cluster->workers() > 0 && sink) {
        complete = leadClusterSearch<Engine, Task>(*cluster, std::move(root), std::max<int32_t>(options.threads, 1),
                                                   makeEngine, commit, itemDone, options.splitAtEveryNode,
                                                   options.bufferLimitBytes, options.stop, {});
    } else if (cluster != nullptr && cluster->workers() > 0) {
        // A counting run across processes: every engine, local or remote, counts for itself.
        detail::SharedTotals shared;
        const RemoteCounts addCounts = [&shared, &options](std::span<const int32_t> byDepth) {
            shared.add(byDepth);
            if (options.progress)
                for (const int32_t n : byDepth) options.progress->closedFound.fetch_add(n, std::memory_order_relaxed);
        };
        complete = leadClusterSearch<detail::CountingEngine<Engine, Task>, Task>(
            *cluster, std::move(root), std::max<int32_t>(options.threads, 1),
            detail::countingEngines<Engine, Task>(makeEngine, shared, options), nullptr, itemDone,
            options.splitAtEveryNode, options.bufferLimitBytes, options.stop, addCounts);
        counting.totals = std::move(shared.totals);
    } else if (options.threads > 1 && !sink) {
        detail::SharedTotals shared;
        ParallelSearch<detail::CountingEngine<Engine, Task>, Task> parallel(
            options.threads, detail::countingEngines<Engine, Task>(makeEngine, shared, options), nullptr, itemDone,
            options.splitAtEveryNode, options.bufferLimitBytes, options.stop);
        complete = parallel.run(std::move(root));
        counting.totals = std::move(shared.totals);
    } else if (options.threads <= 1 && options.trace != nullptr) {
        complete = detail::traceSerialSearch<Engine>(root, makeEngine, counting, options);
    } else if (options.threads <= 1) {
        SerialSharing<Task> serial(options.stop);
        complete = makeEngine(counting)->mine(root, serial);
    } else {
        ParallelSearch<Engine, Task> parallel(options.threads, makeEngine, commit, itemDone, options.splitAtEveryNode,
                                              options.bufferLimitBytes, options.stop);
        complete = parallel.run(std::move(root));
    }
    counting.totals.stopped = !complete;
    return std::move(counting.totals);
}

}  // namespace korvcore
