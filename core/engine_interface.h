// What a search engine hands outwards, and the words every search header uses.
//
// Glossary (both miners):
//   pattern   a list of events, written flat: the items of each event followed by -1, so it
//             always ends with -1. Items are dense ids (0 .. itemCount - 1, in file id order).
//   depth     0 is a one-item pattern; a pattern at depth d holds d + 1 items. Reports count
//             lengths in items (depth + 1).
//   node      a pattern in the search tree; its children extend it by one item, and the search
//             visits them depth first, in pre-order, so a pattern comes before its extensions.
//   entry     one supporting sequence's place in a node's projection: the node keeps one entry
//             per sequence that contains the pattern, in sequence order, so #entries == support.
//   window    window i of an entry is the stretch of its sequence strictly between where the
//             first instance of items 0 .. i - 1 ends (the sequence start for i = 0) and the
//             window end of position i. An item that stands in window i of every entry can be
//             inserted before item i without changing the support.
//   window end  at the last position, where the first instance of the pattern ends (the pruning
//             check) or the last occurrence of the final item after the prefix's first instance
//             (the backward check); at position i < depth, the last occurrence of item i before
//             the window end of position i + 1.
//   pruning check  some window of the first instance is shared by every entry: no extension of
//             the node can be closed, so its subtree is skipped.
//   backward check  some window up to the last occurrences is shared: the node is not closed.
//   task      a node's unstarted children with what they need of the path above them: the unit
//             of work that the parallel search hands from thread to thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

namespace korvcore {

// Where a window check lets the last window end.
enum class WindowEnd { FirstInstance, LastOccurrence };

// What a thread that gives work away hands over of its shallowest level with unstarted children:
// the later half of them, or all of them (the head of the output order when writing takes much of
// its time, see ParallelSearch::Worker::handOver).
enum class HandOver { LaterHalf, All };

// Receives each closed pattern the moment the engine finds it, in search order.
class ClosedCollector {
public:
    // `support` is the number of entries. Returns false to stop the search: the engine then
    // starts no further node and returns.
    virtual bool collect(std::span<const int32_t> pattern, int32_t depth, int32_t support) = 0;
    // Told when the subtree of a single item (depth 0) has been searched, or pruned.
    virtual void singleItemDone() {}

protected:
    ~ClosedCollector() = default;
};

// Asked before every node of the search (so between two children) whether other threads wait
// for work; if so, the engine hands over the children it has not started at its shallowest
// level, as one task. `depth` is that of the node about to start, which only the serial run's
// trace reads (task_trace.h). wantsWork() also answers true when the search must stop, which the
// engine then learns from stopRequested(): one call per node on the hot path, and a second only
// when the first says so.
template <class Task>
class WorkSharing {
public:
    virtual bool wantsWork(int32_t depth) = 0;
    virtual bool stopRequested() = 0;
    // How much of the shallowest level to hand over (work_split.h); asked just before share().
    virtual HandOver handOver() { return HandOver::LaterHalf; }
    virtual void share(Task&& task) = 0;

protected:
    ~WorkSharing() = default;
};

// What an engine's visit of a child settled: its subtree is skipped (pruned), its children are
// built one level down (grown; maybe none), or the search must stop (the collector refused).
enum class Visit { Pruned, Grown, Stopped };

// The depth-first walk of both engines, with an explicit stack of levels so that very long
// sequences cannot exhaust the call stack: levels[d] holds the children of the node at depth
// d - 1 on the current path, levels[d].nextChild the next to visit, and the walk covers the
// children of levels[baseDepth] with their subtrees. Hooks, all at the depth of the child:
//   visit(depth, child)   enters the child and prunes it or grows levels[depth + 1];
//   finishChild(depth)    the subtree of the child last entered is done;
//   leaveLevel(depth)     every child of levels[depth] is done;
//   shareWork(depth)      between two children, when sharing asks: hands over unstarted ones.
// False when the search stopped (the collector refused a pattern or sharing asked to stop).
template <class Levels, class Task, class VisitChild, class FinishChild, class LeaveLevel, class ShareWork>
bool walkDepthFirst(Levels& levels, int32_t baseDepth, WorkSharing<Task>& sharing, VisitChild&& visit,
                    FinishChild&& finishChild, LeaveLevel&& leaveLevel, ShareWork&& shareWork) {
    int32_t depth = baseDepth;
    while (depth >= baseDepth) {
        auto& level = levels[std::size_t(depth)];
        if (level.nextChild == level.childCount()) {
            leaveLevel(depth);
            if (--depth >= baseDepth) finishChild(depth);
            continue;
        }
        if (sharing.wantsWork(depth)) {
            if (sharing.stopRequested()) return false;
            shareWork(depth);
            if (level.nextChild == level.childCount()) continue;
        }
        const Visit visited = visit(depth, level.nextChild++);
        if (visited == Visit::Stopped) return false;
        if (visited == Visit::Pruned || levels[std::size_t(depth) + 1].childCount() == 0)
            finishChild(depth);
        else
            ++depth;
    }
    return true;
}

// The collector of an engine that only builds a root task and finds no pattern.
class NullCollector final : public ClosedCollector {
public:
    bool collect(std::span<const int32_t>, int32_t, int32_t) override { return true; }
};

// The plain serial search: never asks for work, and stops when `stop` (may be null) is set.
template <class Task>
class SerialSharing final : public WorkSharing<Task> {
public:
    explicit SerialSharing(const std::atomic<bool>* stop) : stop_(stop) {}
    bool wantsWork(int32_t) override { return stopRequested(); }
    bool stopRequested() override { return stop_ != nullptr && stop_->load(std::memory_order_relaxed); }
    void share(Task&&) override {}

private:
    const std::atomic<bool>* stop_;
};

}  // namespace korvcore
