// The scheduler on its own, driven by a fake engine over a known tree: every thread count and
// split setting hands the sink the serial order, also with room for one waiting pattern only; a
// failing engine leaves a prefix of that order and the failure; a sink that refuses, or a stop
// flag set meanwhile, stops the run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "checked_vector.h"
#include "search_run.h"
#include "support/loopback_cluster.h"
#include "task_words.h"
#include "work_split.h"

namespace {

using Flat = std::vector<int32_t>;

// The tree: a node's children are items 0 .. fanout - 1, where fanout depends on the path; a node
// is closed when its hash says so. Patterns are items each followed by -1.
uint32_t hashOf(const Flat& path) {
    uint32_t h = 2166136261u;
    for (const int32_t x : path) h = (h ^ uint32_t(x + 7)) * 16777619u;
    return h;
}
int32_t fanout(const Flat& path) { return path.empty() ? 6 : path.size() >= 6 ? 0 : int32_t(hashOf(path) % 6); }
bool closedNode(const Flat& path) { return hashOf(path) % 3 != 0; }
int32_t supportOf(const Flat& path) { return int32_t(hashOf(path) % 100) + 1; }

struct FakeLevel {
    korvcore::CheckedVector<int32_t> childItem, childSupport, childBegin;
    int32_t nextChild = 0;
    int32_t childCount() const { return int32_t(childItem.size()); }
};

struct FakeTask {
    Flat pattern;  // the items above the level's children
    FakeLevel level;
};

void writeTask(const FakeTask& task, const FakeTask&, korvcore::CheckedVector<int32_t>& words) {
    korvcore::putWords(words, task.pattern);
    korvcore::putWords(words, task.level.childItem);
    korvcore::putWords(words, task.level.childSupport);
    korvcore::putWords(words, task.level.childBegin);
    words.push_back(task.level.nextChild);
}

FakeTask readTask(std::span<const int32_t> words, const FakeTask&) {
    korvcore::WordReader reader(words);
    FakeTask task;
    reader.array(task.pattern);
    reader.array(task.level.childItem);
    reader.array(task.level.childSupport);
    reader.array(task.level.childBegin);
    task.level.nextChild = reader.next();
    reader.finish();
    return task;
}

FakeLevel childrenOf(const Flat& path) {
    FakeLevel level;
    for (int32_t x = 0; x < fanout(path); ++x) {
        level.childItem.push_back(x);
        level.childSupport.push_back(1);
        level.childBegin.push_back(x);
    }
    return level;
}

// Walks the tree the way the real engines do: explicit levels, the checks before a node, work
// handed over between nodes. Throws once `failAt` nodes have been visited by all engines together.
class FakeEngine {
public:
    FakeEngine(korvcore::ClosedCollector& collector, std::atomic<int>* visits, int failAt)
        : collector_(collector), visits_(visits), failAt_(failAt) {}

    bool mine(FakeTask& task, korvcore::WorkSharing<FakeTask>& sharing) {
        path_ = task.pattern;
        const auto base = int32_t(path_.size());
        levels_.resize(std::size_t(base) + 1);
        std::swap(levels_[std::size_t(base)], task.level);
        int32_t depth = base;
        while (depth >= base) {
            FakeLevel& level = levels_[std::size_t(depth)];
            if (level.nextChild == level.childCount()) {
                if (--depth >= base) {
                    path_.pop_back();
                    if (depth == 0) collector_.singleItemDone();
                }
                continue;
            }
            if (sharing.wantsWork(depth)) {
                if (sharing.stopRequested()) return false;
                share(base, depth, sharing);
            }
            if (level.nextChild == level.childCount()) continue;
            path_.push_back(level.childItem[std::size_t(level.nextChild++)]);
            if (visits_ && ++*visits_ == failAt_) throw std::runtime_error("engine failure");
            if (closedNode(path_)) {
                Flat flat;
                for (const int32_t x : path_) flat.insert(flat.end(), {x, -1});
                if (!collector_.collect(flat, int32_t(path_.size()) - 1, supportOf(path_))) return false;
            }
            if (levels_.size() <= std::size_t(depth) + 1) levels_.resize(std::size_t(depth) + 2);
            levels_[std::size_t(depth) + 1] = childrenOf(path_);
            if (levels_[std::size_t(depth) + 1].childCount() == 0) {
                path_.pop_back();
                if (depth == 0) collector_.singleItemDone();
                continue;
            }
            ++depth;
        }
        return true;
    }

private:
    void share(int32_t base, int32_t depth, korvcore::WorkSharing<FakeTask>& sharing) {
        int32_t level = 0, first = 0;
        if (!korvcore::findWorkToShare(levels_, base, depth, sharing.handOver(), level, first)) return;
        FakeTask task;
        task.pattern.assign(path_.begin(), path_.begin() + level);
        korvcore::moveChildren(levels_[std::size_t(level)], task.level, first);
        sharing.share(std::move(task));
    }

    korvcore::ClosedCollector& collector_;
    std::atomic<int>* visits_;
    int failAt_;
    std::deque<FakeLevel> levels_;
    Flat path_;
};

struct Found {
    Flat pattern;
    int32_t depth, support;
    bool operator==(const Found&) const = default;
};

void serialOrder(Flat& path, std::vector<Found>& out) {
    for (int32_t x = 0; x < fanout(path); ++x) {
        path.push_back(x);
        if (closedNode(path)) {
            Flat flat;
            for (const int32_t y : path) flat.insert(flat.end(), {y, -1});
            out.push_back({flat, int32_t(path.size()) - 1, supportOf(path)});
        }
        serialOrder(path, out);
        path.pop_back();
    }
}

struct TreeRun {
    std::vector<Found> found;
    korvcore::SearchTotals totals;
    // A sink that takes this long per pattern makes the head of the order a writer, which hands
    // over all its unstarted work.
    std::chrono::microseconds sinkTime{0};
};

// Mines the tree into `run`; the sink refuses the pattern after `acceptLimit` (or, with `stop`,
// accepts it and sets the stop flag), and an engine throws at node `failAt`.
void mineTree(TreeRun& run, korvcore::SearchOptions options, std::size_t acceptLimit = SIZE_MAX, int failAt = -1,
              bool stop = false, std::atomic<int>* sharedVisits = nullptr) {
    std::atomic<bool> stopFlag{false};
    if (stop) options.stop = &stopFlag;
    std::atomic<int> visits{0};
    std::atomic<int>* counted = sharedVisits != nullptr ? sharedVisits : &visits;
    const std::function<std::unique_ptr<FakeEngine>(korvcore::ClosedCollector&)> makeEngine =
        [&](korvcore::ClosedCollector& collector) { return std::make_unique<FakeEngine>(collector, counted, failAt); };
    const korvcore::PatternSink sink = [&](std::span<const int32_t> pattern, int32_t depth, int32_t support) {
        if (run.found.size() == acceptLimit && !stop) return false;
        for (const auto until = std::chrono::steady_clock::now() + run.sinkTime; std::chrono::steady_clock::now() < until;) {
        }
        run.found.push_back({Flat(pattern.begin(), pattern.end()), depth, support});
        if (run.found.size() == acceptLimit) stopFlag = true;
        return true;
    };
    FakeTask root{{}, childrenOf({})};
    run.totals = korvcore::runSearch<FakeEngine>(std::move(root), makeEngine, sink, options);
}

TEST(ParallelSearch, EveryThreadCountAndSplitSettingCommitsInSerialOrder) {
    std::vector<Found> expected;
    Flat path;
    serialOrder(path, expected);
    ASSERT_GT(expected.size(), 200u);
    for (const int32_t threads : {1, 2, 3, 8}) {
        for (const bool split : {false, true}) {
            for (const std::size_t limit : {std::size_t(1), std::size_t(64) << 20}) {
                for (const int slowSink : {0, 1}) {
                    korvcore::SearchProgress progress;
                    TreeRun run;
                    run.sinkTime = std::chrono::microseconds(20 * slowSink);
                    mineTree(run, {.threads = threads, .progress = &progress, .bufferLimitBytes = limit,
                                   .splitAtEveryNode = split});
                    SCOPED_TRACE(testing::Message() << threads << " threads, split " << split << ", limit " << limit
                                                    << ", slow sink " << slowSink);
                    EXPECT_EQ(run.found, expected);
                    EXPECT_FALSE(run.totals.stopped);
                    EXPECT_EQ(run.totals.closed, int64_t(expected.size()));
                    EXPECT_EQ(progress.closedFound.load(), int64_t(expected.size()));
                    EXPECT_EQ(progress.itemsDone.load(), progress.itemsTotal.load());
                }
            }
        }
    }
}

TEST(ParallelSearch, AThreadHandsOverTheLaterHalfOrAllOfItsShallowestUnstartedChildren) {
    std::deque<FakeLevel> levels(3);
    levels[0].childItem = {0, 1, 2};
    levels[0].nextChild = 3;  // all started: skipped
    levels[1].childItem = {0, 1, 2, 3, 4, 5};
    levels[1].nextChild = 1;  // child 0 is on the search path
    levels[2].childItem = {0, 1, 2};
    int32_t level = -1, first = -1;
    ASSERT_TRUE(korvcore::findWorkToShare(levels, 0, 2, korvcore::HandOver::LaterHalf, level, first));
    EXPECT_EQ(level, 1);
    EXPECT_EQ(first, 3);  // the later half of children 1 .. 5
    ASSERT_TRUE(korvcore::findWorkToShare(levels, 0, 2, korvcore::HandOver::All, level, first));
    EXPECT_EQ(first, 1);
    // At the current depth the next child stays with the thread.
    ASSERT_TRUE(korvcore::findWorkToShare(levels, 2, 2, korvcore::HandOver::All, level, first));
    EXPECT_EQ(level, 2);
    EXPECT_EQ(first, 1);
    levels[2].childItem = {0};
    EXPECT_FALSE(korvcore::findWorkToShare(levels, 2, 2, korvcore::HandOver::All, level, first));
}

TEST(ParallelSearch, AFailureLeavesAPrefixAndARefusalStopsTheRun) {
    std::vector<Found> expected;
    Flat path;
    serialOrder(path, expected);
    for (const int32_t threads : {1, 2, 4}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        TreeRun failed;
        EXPECT_THROW(mineTree(failed, {.threads = threads, .splitAtEveryNode = true}, SIZE_MAX, 150), std::runtime_error);
        ASSERT_LT(failed.found.size(), expected.size());
        EXPECT_TRUE(std::equal(failed.found.begin(), failed.found.end(), expected.begin()));

        for (const bool byFlag : {false, true}) {
            TreeRun stopped;
            mineTree(stopped, {.threads = threads, .splitAtEveryNode = true}, 40, -1, byFlag);
            EXPECT_TRUE(stopped.totals.stopped);
            EXPECT_EQ(stopped.totals.closed, 40);
            ASSERT_EQ(stopped.found.size(), 40u);
            EXPECT_TRUE(std::equal(stopped.found.begin(), stopped.found.end(), expected.begin()));
        }
    }
}

// Mines the tree with the leader on `threads` threads and followers on followerThreads; the
// followers' engines count towards `failAt` with the leader's.
void mineTreeOnCluster(TreeRun& run, korvcore::SearchOptions options, const std::vector<int32_t>& followerThreads,
                       int failAt = -1) {
    std::atomic<int> visits{0};
    testsupport::runOnLoopback(
        followerThreads,
        [&](korvcore::ClusterLink& leader) {
            options.cluster = &leader;
            mineTree(run, options, SIZE_MAX, failAt, false, &visits);
        },
        [&](korvcore::ClusterLink& follower, int32_t threads) {
            TreeRun unused;
            mineTree(unused, {.threads = threads, .cluster = &follower}, SIZE_MAX, failAt, false, &visits);
        });
}

TEST(ClusterSearch, ThreadsOfOtherProcessesCommitInSerialOrder) {
    std::vector<Found> expected;
    Flat path;
    serialOrder(path, expected);
    for (const std::vector<int32_t>& followers : {std::vector<int32_t>{1}, std::vector<int32_t>{2, 1}}) {
        for (const int32_t threads : {1, 2}) {
            for (const bool split : {false, true}) {
                for (const std::size_t limit : {std::size_t(1), std::size_t(64) << 20}) {
                    korvcore::SearchProgress progress;
                    TreeRun run;
                    mineTreeOnCluster(run, {.threads = threads, .progress = &progress, .bufferLimitBytes = limit,
                                            .splitAtEveryNode = split},
                                      followers);
                    SCOPED_TRACE(testing::Message() << followers.size() << " followers, " << threads << " threads, split "
                                                    << split << ", limit " << limit);
                    EXPECT_EQ(run.found, expected);
                    EXPECT_FALSE(run.totals.stopped);
                    EXPECT_EQ(progress.itemsDone.load(), progress.itemsTotal.load());
                }
            }
        }
    }
}

// Wherever the failing node is mined, the run ends with the failure and a prefix.
TEST(ClusterSearch, AFailureAnywhereLeavesAPrefix) {
    std::vector<Found> expected;
    Flat path;
    serialOrder(path, expected);
    for (const int failAt : {5, 150, 400}) {
        TreeRun failed;
        EXPECT_THROW(mineTreeOnCluster(failed, {.threads = 1, .splitAtEveryNode = true}, {2}, failAt),
                     std::runtime_error);
        ASSERT_LT(failed.found.size(), expected.size());
        EXPECT_TRUE(std::equal(failed.found.begin(), failed.found.end(), expected.begin()));
    }
}

}  // namespace
