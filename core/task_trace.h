// The task-cost trace of a serial search (KORV_TRACE=FILE): what each subtree of the search tree
// cost, so that bench/replay_trace.py can replay the work-splitting rule for any number of ranks.
//
// Only the serial search is traced (one thread, no cluster): a threaded or cluster run leaves the
// file with its first line alone. The search reports each node to the trace through its
// WorkSharing (TracedSharing: the engine asks wantsWork(depth) before every node), and each
// pattern through its collector (TracedCollector: the time the receiver took to write it); other
// runs pay nothing for the trace but the depth argument.
//
// The file is text, one record per line, fields separated by one blank, times in nanoseconds:
//   korv-trace 1                              the first line
//   DEPTH COUNT OWN SUBTREE WRITE BYTES       a traced node (COUNT 1), or a run of COUNT
//                                             indivisible siblings with their summed costs
//   root NS                                   from opening the trace (before the input is read)
//                                             to the first node: reading, preparing, single items
//   search NS NODES                           from the first node to the search's end; the nodes
//                                             visited at every depth
//   write NS BYTES PATTERNS                   every pattern: writing time, bytes, count
//   end NS                                    from the search's end to close(): closing output
//   split NS SHARE                            kSplitNanos, kSplitShare
// Invariants of the node lines:
//   1. They are in pre-order. The children of a node are the lines after it with depth + 1, up to
//      the next line of its depth or less. Every single item (depth 0) is on a line, alone or
//      in a run (invariant 3).
//   2. A node's children are listed when its subtree took kSplitNanos or more, and at least
//      1 / kSplitShare of the search time until it ended; so the pieces stay small against the
//      share of a run that each of a thousand ranks would get, and a long run's trace within a
//      few 100k lines. A node listed without children is one indivisible piece of work.
//   3. Consecutive siblings too cheap to list their children share one line, COUNT > 1.
//   4. OWN runs from the node's start to its first child's start (its whole subtree when it has
//      none listed); SUBTREE to the start of the next node at its depth or above, or the search's
//      end. WRITE and BYTES are the time and bytes of the patterns its subtree reported, its own
//      included; BYTES counts the words a pattern takes on its way between ranks:
//      (values + 3) × 4, the values being the items with a -1 after each event.
//   5. Times include the trace's own clock reads; the time spent writing the file is in no node.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "engine_interface.h"

namespace korvcore {

inline constexpr const char* kTraceVariable = "KORV_TRACE";

class TaskTrace {
public:
    // Subtrees that took less than either are listed as one piece (invariant 2).
    static constexpr int64_t kSplitNanos = 1'000'000;
    static constexpr int64_t kSplitShare = 20'000;
    // Records held before writing, at most; a single item's subtree may hold more until it ends.
    static constexpr std::size_t kBufferedRecords = 4096;

    TaskTrace() = default;
    ~TaskTrace();
    TaskTrace(const TaskTrace&) = delete;
    TaskTrace& operator=(const TaskTrace&) = delete;

    // Creates or truncates `path` and writes the first line; the root's time starts here. False
    // (with error()) when that fails.
    bool open(const std::string& path);
    // Opens the file that kTraceVariable names, when it is set and not empty: what every program
    // does first. False as open().
    bool openFromEnvironment();
    bool isOpen() const { return file_ != nullptr; }
    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }

    // The serial search's side. A node at `depth` is about to start.
    void nodeStarting(int32_t depth);
    // The receiver took `nanos` to write a pattern of `values` values.
    void patternWritten(int64_t nanos, std::size_t values) {
        writeNanos_ += nanos;
        writeBytes_ += (int64_t(values) + 3) * int64_t(sizeof(int32_t));
        ++patterns_;
    }
    void searchEnded();

    // Writes the totals (after a traced search) and closes the file; false (with error()) when
    // any write or the close failed.
    bool close();

    static int64_t nowNanos();

private:
    struct Record {
        int32_t depth;
        int32_t count;  // 0: a node with listed children, or not yet ended; else a run (invariant 3)
        int64_t own, subtree, write, bytes;
    };
    // A node on the current search path, its record at records_[record].
    struct OpenNode {
        int32_t depth;
        std::size_t record;
        int64_t start, firstChildAt, writeAtStart, bytesAtStart;
    };
    void closeNode(int64_t at);
    // Writes the first `count` records and drops them.
    void writeRecords(std::size_t count);
    void fail(const char* what);

    std::FILE* file_ = nullptr;
    std::string path_, error_;
    int64_t openedAt_ = 0, firstNodeAt_ = -1, searchEndedAt_ = -1;
    int64_t nodes_ = 0, writeNanos_ = 0, writeBytes_ = 0, patterns_ = 0;
    // The records not yet written: those of the current single item's subtree.
    std::vector<Record> records_;
    std::vector<OpenNode> open_;
};

// The serial search's sharing with the trace told of every node.
template <class Task>
class TracedSharing final : public WorkSharing<Task> {
public:
    TracedSharing(TaskTrace& trace, const std::atomic<bool>* stop) : trace_(trace), serial_(stop) {}
    bool wantsWork(int32_t depth) override {
        trace_.nodeStarting(depth);
        return serial_.wantsWork(depth);
    }
    bool stopRequested() override { return serial_.stopRequested(); }
    void share(Task&&) override {}

private:
    TaskTrace& trace_;
    SerialSharing<Task> serial_;
};

// Passes every pattern on to `receiver` and tells the trace how long the receiver took.
class TracedCollector final : public ClosedCollector {
public:
    TracedCollector(ClosedCollector& receiver, TaskTrace& trace) : receiver_(receiver), trace_(trace) {}
    bool collect(std::span<const int32_t> pattern, int32_t depth, int32_t support) override {
        const int64_t start = TaskTrace::nowNanos();
        const bool going = receiver_.collect(pattern, depth, support);
        trace_.patternWritten(TaskTrace::nowNanos() - start, pattern.size());
        return going;
    }
    void singleItemDone() override { receiver_.singleItemDone(); }

private:
    ClosedCollector& receiver_;
    TaskTrace& trace_;
};

}  // namespace korvcore
