// Runs one search on several threads, with every closed pattern committed in serial search order.
// This is the one scheduler: it starts the search threads of a process, and in a cluster run its
// workers include proxies of other processes' threads (cluster_search.h).
//
// The search tree is cut into tasks (subtrees, see WorkSharing in engine_interface.h). Each task's
// closed patterns go to its segment; the segments form a list in serial search order. Only the
// first segment (the head) commits, as its patterns arrive; the others buffer theirs until they
// become the head. Invariants:
//   1. The list is in serial output order. A task split off from a running one holds the children
//      that the running task would have visited last at its shallowest unfinished level, after
//      which it has nothing left; so the split goes right after its segment.
//   2. A free thread takes the earliest pending task, so the head is always running or about to.
//   3. At most bufferLimit bytes of patterns (64 MB unless a test asks for less) wait in
//      buffers. A thread whose segment is not the head waits when it would pass the bound; the
//      head never waits, so the run always moves on.
//   4. `commit` is called by one thread at a time, in serial search order. When the head finishes,
//      one thread at a time (the committer) writes out the buffers of the segments that become
//      the head, without holding the list's mutex, while their own threads go on buffering; a
//      segment turns direct once its buffer is empty.
//   5. When a thread fails (memory runs out), nothing more is started or committed, and run()
//      rethrows the failure once every thread has stopped: the output stays a prefix.
//   6. When `commit` returns false (the receiver asks to stop) or `stop` is set, the same happens
//      without a failure: the engines stop at their next node and run() returns false.
// Each thread owns an engine (its per-item arrays and levels), or a proxy that relays a remote
// engine's patterns and splits through the same calls; nothing mutable is shared but the segment
// list, guarded by mutex_, and each segment's buffer, guarded by its own mutex.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>

#include "checked_vector.h"
#include "engine_interface.h"
#include "search_threads.h"

namespace korvcore {

template <class Engine, class Task>
class ParallelSearch {
    using Clock = std::chrono::steady_clock;
    static constexpr uint32_t kCommitSample = 16;
    static constexpr int64_t kWritingShare = 8;  // the head writes for more than 1/8 of its time

public:
    // Called in serial search order, one thread at a time; false stops the search. Empty in a
    // counting run, whose engines count for themselves and hand the scheduler no pattern.
    using Commit = std::function<bool(std::span<const int32_t> pattern, int32_t depth, int32_t support)>;
    using ItemDone = std::function<void()>;
    using MakeEngine = std::function<std::unique_ptr<Engine>(ClosedCollector& collector)>;

    // `splitAtEveryNode` hands work over at every node, not only to idle threads (for tests).
    // `stop` (may be null) stops the search when set from any thread.
    ParallelSearch(int32_t threads, MakeEngine makeEngine, Commit commit, ItemDone itemDone, bool splitAtEveryNode,
                   std::size_t bufferLimit, const std::atomic<bool>* stop = nullptr)
        : threads_(threads), makeEngine_(std::move(makeEngine)), commit_(std::move(commit)),
          itemDone_(std::move(itemDone)), splitAtEveryNode_(splitAtEveryNode), bufferLimit_(bufferLimit), stop_(stop) {}

    // Mines the root task and everything split off it; false when the search was stopped.
    bool run(Task root) {
        segments_.emplace_back();
        segments_.front().task.emplace(std::move(root));
        segments_.front().direct = true;
        pending_ = 1;
        runOnThreads(threads_, [this](int32_t) { work(); });
        if (failure_) std::rethrow_exception(failure_);
        return !failed_;
    }

    // What a worker's wantsWork() answers: a thread waits for work and none is pending, or the
    // search stops (or splits at every node). Read from any thread, also by proxies of threads
    // in other processes (cluster_search.h).
    bool workWanted() const {
        return splitAtEveryNode_ || stopping() ||
               (idle_.load(std::memory_order_relaxed) > 0 && pending_.load(std::memory_order_relaxed) == 0);
    }
    bool stopping() const {
        return failed_.load(std::memory_order_relaxed) || (stop_ != nullptr && stop_->load(std::memory_order_relaxed));
    }

private:
    struct Segment {
        std::optional<Task> task;      // set while pending
        CheckedVector<int32_t> buffer;  // per pattern: its size, its depth, its support, its values
        bool running = false;
        bool done = false;
        bool direct = false;           // the head: patterns are committed as they arrive
        std::mutex bufferMutex;        // guards buffer and direct
    };
    using SegmentList = std::list<Segment>;

    // One thread's view of the search: routes its engine's patterns to the segment it works on,
    // and its spare work to the list.
    class Worker final : public ClosedCollector, public WorkSharing<Task> {
    public:
        explicit Worker(ParallelSearch& search) : search_(search) {}
        typename SegmentList::iterator segment;

        bool collect(std::span<const int32_t> pattern, int32_t depth, int32_t support) override {
            ++found;
            return search_.collect(*this, pattern, depth, support);
        }
        void singleItemDone() override {
            if (search_.itemDone_) search_.itemDone_();
        }
        bool stopRequested() override { return search_.stopping(); }
        bool wantsWork(int32_t) override { return search_.workWanted(); }
        // The head hands over all its unstarted children when writing its patterns would take
        // more than 1/kWritingShare of its time (as measured since its task started or it last
        // handed over), or while no commit has been timed yet: its segment then ends soon, and
        // the writing of the segments buffered behind it overlaps the search instead of following
        // it. Otherwise (cheap commits, or not the head) the later half.
        HandOver handOver() override {
            const Clock::time_point now = Clock::now();
            const int64_t perCommit = search_.nanosPerCommit();
            const bool writing = search_.commit_ && search_.segmentIsDirect(*segment) &&
                                 (perCommit == 0 || found * perCommit * kWritingShare >
                                                        std::chrono::nanoseconds(now - since).count());
            startClock(now);
            return writing ? HandOver::All : HandOver::LaterHalf;
        }
        void share(Task&& task) override { search_.share(segment, std::move(task)); }

        void startClock(Clock::time_point now) {
            since = now;
            found = 0;
        }

        int64_t found = 0;  // patterns found since `since`
        Clock::time_point since;
        uint32_t directCommits = 0;

    private:
        ParallelSearch& search_;
    };

    void work() {
        try {
            workOnTasks();
        } catch (...) {
            fail(std::current_exception());
        }
    }

    // Stops the search: with a failure to rethrow, or none when the receiver asked to stop.
    void fail(std::exception_ptr failure) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = failure;
        failed_ = true;
        for (Segment& segment : segments_) segment.task.reset();
        pending_ = 0;
        workAvailable_.notify_all();
        spaceAvailable_.notify_all();
    }

    void workOnTasks() {
        Worker worker(*this);
        std::unique_ptr<Engine> engine = makeEngine_(worker);
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ++idle_;
            workAvailable_.wait(lock, [this] { return pending_ > 0 || running_ == 0; });
            --idle_;
            if (pending_ == 0) break;  // nothing pending and nothing running: the search is over
            auto segment = segments_.begin();
            while (!segment->task) ++segment;
            Task task = std::move(*segment->task);
            segment->task.reset();
            segment->running = true;
            --pending_;
            ++running_;
            lock.unlock();

            worker.segment = segment;
            worker.startClock(Clock::now());
            try {
                if (!engine->mine(task, worker)) fail(nullptr);
            } catch (...) {
                fail(std::current_exception());
            }

            lock.lock();
            segment->done = true;
            --running_;
            advanceHead(lock);
            workAvailable_.notify_all();
        }
        workAvailable_.notify_all();
    }

    void share(typename SegmentList::iterator after, Task&& task) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto inserted = segments_.emplace(std::next(after));
        inserted->task.emplace(std::move(task));
        ++pending_;
        workAvailable_.notify_one();
    }

    // Commits the pattern when its segment is the head, else buffers it. False once the search
    // has stopped.
    bool collect(Worker& worker, std::span<const int32_t> pattern, int32_t depth, int32_t support) {
        if (stopping()) return false;
        Segment& segment = *worker.segment;
        std::unique_lock<std::mutex> bufferLock(segment.bufferMutex);
        if (segment.direct) return commitDirect(worker, pattern, depth, support, bufferLock);
        const std::size_t bytes = (pattern.size() + 3) * sizeof(int32_t);
        if (buffered_.load() + bytes > bufferLimit_) {
            bufferLock.unlock();
            {
                std::unique_lock<std::mutex> lock(mutex_);
                spaceAvailable_.wait(lock, [&] {
                    return buffered_.load() + bytes <= bufferLimit_ || failed_ || segmentIsDirect(segment);
                });
            }
            if (failed_) return false;
            bufferLock.lock();
            if (segment.direct) return commitDirect(worker, pattern, depth, support, bufferLock);
        }
        buffered_ += bytes;
        segment.buffer.push_back(int32_t(pattern.size()));
        segment.buffer.push_back(depth);
        segment.buffer.push_back(support);
        segment.buffer.insert(segment.buffer.end(), pattern.begin(), pattern.end());
        return true;
    }

    // The head's commit; one in kCommitSample is timed, so that cheap commits pay for a clock
    // reading only now and then.
    bool commitDirect(Worker& worker, std::span<const int32_t> pattern, int32_t depth, int32_t support,
                      std::unique_lock<std::mutex>& held) {
        if (++worker.directCommits % kCommitSample != 0) return commitOrStop(pattern, depth, support, &held);
        const Clock::time_point start = Clock::now();
        const bool going = commitOrStop(pattern, depth, support, &held);
        timedCommits(Clock::now() - start, 1);
        return going;
    }

    // What one commit costs, from the commits timed so far (0 before any): Worker::handOver
    // weighs it.
    int64_t nanosPerCommit() const {
        const int64_t commits = timedCommits_.load(std::memory_order_relaxed);
        return commits == 0 ? 0 : timedCommitNanos_.load(std::memory_order_relaxed) / commits;
    }
    void timedCommits(Clock::duration took, int64_t commits) {
        timedCommitNanos_.fetch_add(std::chrono::nanoseconds(took).count(), std::memory_order_relaxed);
        timedCommits_.fetch_add(commits, std::memory_order_relaxed);
    }

    // Commits one pattern unless the search is to stop; a refusal stops the whole search. `held`
    // (may be null) is released first, since stopping takes mutex_, which ranks above a segment's
    // buffer mutex. Commits are ordered by those mutexes, so a stop set by one commit is seen by
    // the next.
    bool commitOrStop(std::span<const int32_t> pattern, int32_t depth, int32_t support,
                      std::unique_lock<std::mutex>* held) {
        if (!stopping() && (!commit_ || commit_(pattern, depth, support))) return true;
        if (held != nullptr) held->unlock();
        fail(nullptr);
        return false;
    }

    bool segmentIsDirect(Segment& segment) {
        std::lock_guard<std::mutex> bufferLock(segment.bufferMutex);
        return segment.direct;
    }

    // With mutex_ held through `lock`: drops finished segments from the front and commits the
    // buffer of each new head, which then commits directly. Only one thread commits buffers at a
    // time; one that finds another at it leaves the new heads to it.
    void advanceHead(std::unique_lock<std::mutex>& lock) {
        if (committing_) return;
        committing_ = true;
        while (!failed_ && !segments_.empty() && segments_.front().done) {
            segments_.pop_front();
            if (segments_.empty()) break;
            Segment& head = segments_.front();
            lock.unlock();
            commitBuffer(head);
            lock.lock();
        }
        committing_ = false;
        spaceAvailable_.notify_all();
    }

    // Commits the head's buffered patterns, batch by batch, while its thread may still add to
    // the buffer; once the buffer is found empty the head commits directly.
    void commitBuffer(Segment& head) {
        CheckedVector<int32_t> batch;
        for (;;) {
            {
                std::lock_guard<std::mutex> bufferLock(head.bufferMutex);
                if (head.buffer.empty() || failed_) {
                    head.direct = true;
                    return;
                }
                batch.swap(head.buffer);
            }
            const Clock::time_point start = Clock::now();
            int64_t commits = 0;
            for (std::size_t at = 0; at < batch.size() && !failed_; at += std::size_t(batch[at]) + 3, ++commits)
                commitOrStop(std::span<const int32_t>(batch.data() + at + 3, std::size_t(batch[at])), batch[at + 1],
                             batch[at + 2], nullptr);
            timedCommits(Clock::now() - start, commits);
            buffered_ -= batch.size() * sizeof(int32_t);
            CheckedVector<int32_t>().swap(batch);
            {
                // Taken so that a thread between checking for space and waiting cannot miss this.
                std::lock_guard<std::mutex> lock(mutex_);
            }
            spaceAvailable_.notify_all();
        }
    }

    const int32_t threads_;
    MakeEngine makeEngine_;
    Commit commit_;
    ItemDone itemDone_;
    const bool splitAtEveryNode_;
    const std::size_t bufferLimit_;
    const std::atomic<bool>* stop_;

    std::mutex mutex_;  // guards segments_ (its order, tasks, flags) and the counts below
    std::condition_variable workAvailable_;
    std::condition_variable spaceAvailable_;
    SegmentList segments_;
    int32_t running_ = 0;
    bool committing_ = false;  // a thread commits the buffers of new heads; guarded by mutex_
    std::exception_ptr failure_;  // the first failure, guarded by mutex_
    // Read at every node and every pattern by every thread, and seldom written: a cache line of
    // their own, apart from the mutex and from buffered_, which a buffering thread writes at
    // every pattern.
    alignas(64) std::atomic<int32_t> pending_{0};  // segments whose task waits for a thread
    std::atomic<int32_t> idle_{0};                 // threads waiting for a task
    std::atomic<bool> failed_{false};
    // Written by the one committing thread, read when a thread hands work over.
    std::atomic<int64_t> timedCommitNanos_{0};
    std::atomic<int64_t> timedCommits_{0};
    alignas(64) std::atomic<std::size_t> buffered_{0};  // the object ends on a cache line, so alone
};

}  // namespace korvcore
