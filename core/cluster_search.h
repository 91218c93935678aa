// One search over the threads of several processes (cluster_link.h), with the one scheduler of
// parallel_search.h: the leader runs the ParallelSearch of the run with its own engines plus one
// proxy per search thread of the followers, and each follower thread mines what its proxy sends.
//
// A proxy is a worker like any other: it takes the earliest pending task, sends it (the task's
// codec: writeTask / readTask next to each engine's task type) and relays what the remote engine
// does: its patterns go to the proxy's collector (so the segment's bound and the head rule apply
// as for a local thread), a task it splits off goes into the list right after the proxy's segment
// as a local split does, and its end, stop or failure ends the proxy's mine(). Every process
// keeps the root task whole, so that tasks of the root's level travel as a range of its children
// (task_words.h). Invariants:
//   1. A follower thread's wantsWork() reads the leader's last WorkSignal, with no message per
//      node; after handing a task over it hands nothing more until the leader has listed it,
//      so that one idle thread is not answered with many tasks.
//   2. Patterns travel in messages of about kBatchWords words; a thread has at most kCredits
//      of them unanswered, so what waits for the leader is bounded per thread.
//   3. Messages between a proxy and its thread keep their order, so every pattern and split of a
//      task reaches the scheduler before the task's end.
//   4. A follower's failure ends its task with a failure message; the proxy throws RemoteFailure,
//      which fails the run like a local failure (parallel_search.h, invariant 5).
//   5. After the run the leader stops its signal and sends `end` to every follower thread.
//   6. In a counting run (no sink) a follower thread counts its patterns by depth and sends the
//      counts instead of the patterns (countTask, counts), with the same batches and credits;
//      counts need no order, so they bypass the segments and go straight to the run's totals.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "checked_vector.h"
#include "cluster_link.h"
#include "engine_interface.h"
#include "parallel_search.h"

namespace korvcore {

inline constexpr std::size_t kBatchWords = std::size_t(1) << 14;
inline constexpr int32_t kCredits = 2;

// What the scheduler's workers run: a local engine or a proxy.
template <class Task>
class TaskEngine {
public:
    virtual ~TaskEngine() = default;
    virtual bool mine(Task& task, WorkSharing<Task>& sharing) = 0;
};

template <class Engine, class Task>
class LocalEngine final : public TaskEngine<Task> {
public:
    explicit LocalEngine(std::unique_ptr<Engine> engine) : engine_(std::move(engine)) {}
    bool mine(Task& task, WorkSharing<Task>& sharing) override { return engine_->mine(task, sharing); }

private:
    std::unique_ptr<Engine> engine_;
};

// The text of a failure as message words, and back.
inline CheckedVector<int32_t> textWords(const std::string& text) { return {text.begin(), text.end()}; }
inline std::string wordsText(const CheckedVector<int32_t>& words) {
    std::string text;
    for (const int32_t c : words) text.push_back(char(c));
    return text;
}

// Takes a follower's counts of a counting run: patterns found per depth.
using RemoteCounts = std::function<void(std::span<const int32_t> byDepth)>;

template <class Task>
class ProxyEngine final : public TaskEngine<Task> {
public:
    // `root`: the run's root task, whole (task_words.h). `addCounts` set: a counting run.
    ProxyEngine(ClusterLink& link, int32_t worker, ClosedCollector& collector, const Task& root,
                const RemoteCounts& addCounts)
        : link_(link), worker_(worker), collector_(collector), root_(root), addCounts_(addCounts) {}

    bool mine(Task& task, WorkSharing<Task>& sharing) override {
        CheckedVector<int32_t> words;
        writeTask(task, root_, words);
        link_.send(worker_, addCounts_ ? RemoteMessage::countTask : RemoteMessage::task, std::move(words));
        bool going = true;
        for (;;) {
            CheckedVector<int32_t> in;
            switch (link_.receive(worker_, in)) {
            case RemoteMessage::patterns:
                going = deliver(in, going);
                link_.send(worker_, RemoteMessage::credit, {});
                break;
            case RemoteMessage::counts:
                deliverCounts(in);
                link_.send(worker_, RemoteMessage::credit, {});
                break;
            case RemoteMessage::share:
                if (!sharing.stopRequested()) sharing.share(readTask(in, root_));
                link_.send(worker_, RemoteMessage::shared, {});
                break;
            case RemoteMessage::done:
                return going && !in.empty() && in[0] == 1;
            case RemoteMessage::failure:
                throw RemoteFailure(link_.processOf(worker_), wordsText(in));
            default:
                throw std::logic_error("unexpected message from a search thread");
            }
        }
    }

private:
    // Hands a patterns message to the collector while it accepts them; false once it refused one.
    bool deliver(const CheckedVector<int32_t>& in, bool going) {
        if (in.empty()) throw std::logic_error("empty patterns message");
        for (int32_t n = 0; n < in[0]; ++n) collector_.singleItemDone();
        for (std::size_t at = 1; at < in.size(); at += std::size_t(in[at]) + 3) {
            if (in[at] < 0 || in.size() - at < std::size_t(in[at]) + 3) throw std::logic_error("malformed patterns message");
            if (going)
                going = collector_.collect(std::span<const int32_t>(in.data() + at + 3, std::size_t(in[at])), in[at + 1],
                                           in[at + 2]);
        }
        return going;
    }

    void deliverCounts(const CheckedVector<int32_t>& in) {
        if (!addCounts_ || in.empty() || std::any_of(in.begin(), in.end(), [](int32_t n) { return n < 0; }))
            throw std::logic_error("malformed counts message");
        for (int32_t n = 0; n < in[0]; ++n) collector_.singleItemDone();
        addCounts_(std::span<const int32_t>(in.data() + 1, in.size() - 1));
    }

    ClusterLink& link_;
    const int32_t worker_;
    ClosedCollector& collector_;
    const Task& root_;
    const RemoteCounts& addCounts_;
};

// A follower thread's collector and sharing: patterns batched towards the proxy, splits sent to
// it, the leader's signal read locally.
template <class Task>
class RemoteWorker final : public ClosedCollector, public WorkSharing<Task> {
public:
    RemoteWorker(ClusterLink& link, int32_t worker, const Task& root) : link_(link), worker_(worker), root_(root) {
        batch_.push_back(0);
    }

    // Whether the task being mined only counts its patterns (a countTask).
    void countOnly(bool counting) { counting_ = counting; }

    bool collect(std::span<const int32_t> pattern, int32_t depth, int32_t support) override {
        if (link_.signal().stop) return false;
        if (counting_) {
            if (std::size_t(depth) >= byDepth_.size()) byDepth_.resize(std::size_t(depth) + 1, 0);
            ++byDepth_[std::size_t(depth)];
            return ++counted_ < kBatchWords || flush();
        }
        batch_.push_back(int32_t(pattern.size()));
        batch_.push_back(depth);
        batch_.push_back(support);
        batch_.insert(batch_.end(), pattern.begin(), pattern.end());
        return batch_.size() < kBatchWords || flush();
    }
    void singleItemDone() override { ++itemsDone_; }
    bool wantsWork(int32_t) override {
        const WorkSignal signal = link_.signal();
        if (signal.stop) return true;
        if (awaitingShared_) takeWaiting();
        return signal.wanted && !awaitingShared_;
    }
    bool stopRequested() override { return link_.signal().stop; }
    void share(Task&& task) override {
        CheckedVector<int32_t> words;
        writeTask(task, root_, words);
        link_.send(worker_, RemoteMessage::share, std::move(words));
        awaitingShared_ = true;
    }

    // Sends the patterns (or counts) and items done so far, waiting for a credit if need be;
    // false when the leader asks to stop.
    bool flush() {
        if (batch_.size() > 1 || itemsDone_ > 0 || counted_ > 0) {
            CheckedVector<int32_t> in;
            while (credits_ == 0) take(link_.receive(worker_, in));
            --credits_;
            CheckedVector<int32_t> out;
            if (counting_) {
                out.push_back(itemsDone_);
                out.insert(out.end(), byDepth_.begin(), byDepth_.end());
                byDepth_.clear();
                counted_ = 0;
            } else {
                batch_[0] = itemsDone_;
                out.swap(batch_);
                batch_.push_back(0);
            }
            itemsDone_ = 0;
            link_.send(worker_, counting_ ? RemoteMessage::counts : RemoteMessage::patterns, std::move(out));
        }
        return !link_.signal().stop;
    }
    // An answer of the proxy: a credit, or a split listed.
    void take(RemoteMessage kind) {
        if (kind == RemoteMessage::credit)
            ++credits_;
        else if (kind == RemoteMessage::shared)
            awaitingShared_ = false;
        else
            throw std::logic_error("unexpected message to a search thread");
    }

private:
    void takeWaiting() {
        RemoteMessage kind{};
        CheckedVector<int32_t> in;
        while (link_.tryReceive(worker_, kind, in)) take(kind);
    }

    ClusterLink& link_;
    const int32_t worker_;
    const Task& root_;
    CheckedVector<int32_t> batch_;  // [0]: items done; then per pattern its size, depth, support, values
    CheckedVector<int32_t> byDepth_;  // a counting task's patterns per depth since the last flush
    std::size_t counted_ = 0;
    bool counting_ = false;
    int32_t itemsDone_ = 0;
    int32_t credits_ = kCredits;
    bool awaitingShared_ = false;
};

// The leader's run: one ParallelSearch over `localThreads` engines of its own and one proxy per
// follower thread, which read and write tasks against a whole copy of the root. With `addCounts`
// set the run counts: the followers send counts (invariant 6). Returns what ParallelSearch::run
// returns; the followers' threads are released however the run ends.
template <class Engine, class Task>
bool leadClusterSearch(ClusterLink& cluster, Task root, int32_t localThreads,
                       const std::function<std::unique_ptr<Engine>(ClosedCollector&)>& makeEngine,
                       typename ParallelSearch<TaskEngine<Task>, Task>::Commit commit,
                       typename ParallelSearch<TaskEngine<Task>, Task>::ItemDone itemDone, bool splitAtEveryNode,
                       std::size_t bufferLimit, const std::atomic<bool>* stop, const RemoteCounts& addCounts) {
    const Task wholeRoot = root;
    std::atomic<int32_t> made{0};
    ParallelSearch<TaskEngine<Task>, Task> parallel(
        localThreads + cluster.workers(),
        [&](ClosedCollector& collector) -> std::unique_ptr<TaskEngine<Task>> {
            const int32_t number = made.fetch_add(1);
            if (number < localThreads) return std::make_unique<LocalEngine<Engine, Task>>(makeEngine(collector));
            return std::make_unique<ProxyEngine<Task>>(cluster, number - localThreads, collector, wholeRoot, addCounts);
        },
        std::move(commit), std::move(itemDone), splitAtEveryNode, bufferLimit, stop);
    cluster.watchSignal([&parallel] { return WorkSignal{parallel.workWanted(), parallel.stopping()}; });
    struct Release {
        ClusterLink& link;
        ~Release() {
            link.watchSignal({});
            for (int32_t worker = 0; worker < link.workers(); ++worker) link.send(worker, RemoteMessage::end, {});
        }
    } release{cluster};
    return parallel.run(std::move(root));
}

// A follower: serves the leader's tasks on the link's threads until the run ends. `root` is the
// run's root task, whole (task_words.h).
template <class Engine, class Task>
void serveRemoteTasks(ClusterLink& link, const Task& root,
                      const std::function<std::unique_ptr<Engine>(ClosedCollector&)>& makeEngine) {
    auto serve = [&](int32_t worker) {
        RemoteWorker<Task> remote(link, worker, root);
        std::unique_ptr<Engine> engine;
        for (;;) {
            CheckedVector<int32_t> words;
            const RemoteMessage kind = link.receive(worker, words);
            if (kind == RemoteMessage::end) return;
            if (kind != RemoteMessage::task && kind != RemoteMessage::countTask) {
                remote.take(kind);
                continue;
            }
            remote.countOnly(kind == RemoteMessage::countTask);
            std::string failure;
            try {
                if (!engine) engine = makeEngine(remote);
                Task task = readTask(words, root);
                const bool complete = engine->mine(task, remote);
                remote.flush();
                link.send(worker, RemoteMessage::done, {complete ? 1 : 0});
            } catch (const std::bad_alloc&) {
                failure = "out of memory";
            } catch (const std::exception& error) {
                failure = error.what();
            }
            // The engine may be half way through a node: it is not used again.
            if (!failure.empty()) {
                engine.reset();
                link.send(worker, RemoteMessage::failure, textWords(failure));
            }
        }
    };
    runOnThreads(link.workers(), serve);
}

}  // namespace korvcore
