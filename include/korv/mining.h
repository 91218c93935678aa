// Mining closed sequential patterns from a Database.
//
// A pattern (a list of events) is contained in a sequence when its events can be matched, in
// order with gaps, to events of the sequence that hold them; its support is the number of
// sequences that contain it. mine() delivers every frequent pattern that the search judges
// closed, in the order the programs write them: depth first, single items ascending, below a
// pattern first the patterns that add a new event, then those that add an item to its last event,
// each ascending. On databases whose events hold one item each these are exactly the frequent
// closed sequences. Every thread count delivers the same patterns in the same order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "korv/database.h"
#include "korv/progress.h"

namespace korvcore {
class ClusterLink;
class TaskTrace;
}

namespace korv {

// The programs' rules for turning a relative support into a number of sequences:
//   truncated  (korvplus)          sequenceCount × relative, truncated toward zero;
//   roundedHalfUp (korv, korvdump) sequenceCount × relative + 0.5, truncated toward zero.
// NaN counts as 0, and results beyond the int32 range are clamped to it. The count is signed, as
// a count read from a file may be.
enum class Rounding { truncated, roundedHalfUp };
int32_t absoluteSupport(int64_t sequenceCount, double relative, Rounding rounding);

// How many sequences a pattern needs: an absolute count (at least 1), or a fraction in (0, 1]
// of the sequences with a rounding rule. The factories throw korv::Error on other values.
class Threshold {
public:
    static Threshold absolute(int64_t sequences);
    static Threshold relative(double fraction, Rounding rounding = Rounding::truncated);
    // The absolute count for a database of `sequenceCount` sequences (at least 1).
    int32_t resolve(std::size_t sequenceCount) const;

private:
    Threshold(int64_t count, double fraction, Rounding rounding, bool isRelative)
        : count_(count), fraction_(fraction), rounding_(rounding), relative_(isRelative) {}
    int64_t count_;
    double fraction_;
    Rounding rounding_;
    bool relative_;
};

// One closed pattern, valid during the callback.
struct Pattern {
    std::span<const int32_t> flat;       // each event's items (ascending), then -1
    int32_t support = 0;
    std::span<const int32_t> sequences;  // the supporting sequences, ascending (when asked for)

    std::size_t itemCount() const;
    std::vector<Event> events() const;
};

struct MineOptions {
    Threshold threshold = Threshold::absolute(1);
    // Search threads; 0 means the CPUs of the process's affinity mask, 1 the serial search.
    int threads = 0;
    // Deliver each pattern's supporting sequence numbers too.
    bool supportingSequences = false;
    // Counters kept current during the search (optional).
    Progress* progress = nullptr;
    // Set from any thread to stop the search early (optional).
    const std::atomic<bool>* stop = nullptr;
    // For tests of the threaded search: hand work over at every node, and let at most this many
    // bytes of found patterns wait for their turn.
    bool splitAtEveryNode = false;
    std::size_t bufferLimitBytes = std::size_t(64) << 20;
    // The MPI programs' processes (optional): `threads` counts this process's own, and only the
    // leading process gets patterns (the core's cluster_link.h).
    korvcore::ClusterLink* cluster = nullptr;
    // The programs' trace of what each subtree of a serial search cost (optional, the core's
    // task_trace.h; KORV_TRACE in the programs).
    korvcore::TaskTrace* trace = nullptr;
};

struct MineSummary {
    int32_t minSupport = 1;          // the threshold in sequences
    int64_t closed = 0;              // patterns delivered
    std::vector<int64_t> byLength;   // byLength[k]: delivered patterns of k items
    bool stopped = false;            // the callback or the stop flag ended the search early
};

// Returns false to stop the search; nothing more is delivered after that.
using PatternCallback = std::function<bool(const Pattern& pattern)>;

// Mines `database`, calling `onPattern` for each closed pattern in order, from one thread at a
// time. An empty `onPattern` only counts the patterns (the summary), which a threaded run does
// without keeping them in order, so without holding any back. Throws korv::Error for unusable
// options, std::bad_alloc when memory runs out.
MineSummary mine(const Database& database, const MineOptions& options, const PatternCallback& onPattern);
// The same, releasing the database's storage as early as it can (for a database used once); the
// database is left empty.
MineSummary mine(Database&& database, const MineOptions& options, const PatternCallback& onPattern);

}  // namespace korv
