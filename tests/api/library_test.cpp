// The public library: databases built in memory or read from the three file forms, thresholds
// by either program's rule, and mine() against the brute-force definition of a closed pattern,
// with supports, supporting sequences, threads, a stop from outside and the korvplus program's
// own file on the same data.
#include <algorithm>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <tuple>

#include "korv/korv.h"
#include "support/closed_oracle.h"
#include "support/database.h"
#include "support/run_program.h"

namespace {

struct Found {
    std::vector<int32_t> flat;
    int32_t support;
    std::vector<int32_t> sequences;
    bool operator==(const Found&) const = default;
};

std::vector<Found> mineAll(const korv::Database& database, korv::MineOptions options) {
    std::vector<Found> found;
    const korv::MineSummary summary = korv::mine(database, options, [&](const korv::Pattern& pattern) {
        found.push_back({{pattern.flat.begin(), pattern.flat.end()},
                         pattern.support,
                         {pattern.sequences.begin(), pattern.sequences.end()}});
        return true;
    });
    EXPECT_EQ(summary.closed, int64_t(found.size()));
    EXPECT_FALSE(summary.stopped);
    return found;
}

TEST(Library, DatabasesFromMemoryAndFromEveryFileForm) {
    const korv::Database db = korv::Database::fromSequences({{{3, 1, 3}, {}, {2}}, {}, {{0}}});
    EXPECT_EQ(db.sequenceCount(), 3u);
    EXPECT_EQ(db.largestItem(), 3);
    EXPECT_EQ(db.sequence(0), (korv::Sequence{{1, 3}, {2}}));
    EXPECT_EQ(db.words(), (std::vector<int32_t>{1, 3, -1, 2, -1, -2, -2, 0, -1, -2}));
    EXPECT_THROW(korv::Database::fromSequences({{{-4}}}), korv::Error);

    // Item runs: one-item events, repeats and empty sequences kept; add() turns them into events.
    korv::Database runs = korv::Database::fromItemRuns({-1, 4, 1, 4, -1, -1, 2, -1});
    EXPECT_EQ(runs.sequenceCount(), 3u);
    EXPECT_EQ(runs.largestItem(), 4);
    EXPECT_EQ(runs.sequence(0), (korv::Sequence{{4}, {1}, {4}}));
    EXPECT_EQ(runs.words(), (std::vector<int32_t>{4, -1, 1, -1, 4, -1, -2, -2, 2, -1, -2}));
    runs.add(korv::Sequence{{3, 0}});
    EXPECT_EQ(runs.sequence(3), (korv::Sequence{{0, 3}}));
    EXPECT_EQ(runs.sequence(1), korv::Sequence{});
    for (const korv::ItemRuns& bad : {korv::ItemRuns{1, -1}, {-1, 1}, {-1, -3, -1}})
        EXPECT_THROW(korv::Database::fromItemRuns(bad), korv::Error);

    // As korvplus reads words: stray values dropped, a -2 after an item closes the event, the
    // unterminated tail dropped, event order kept.
    const korv::Database loose = korv::Database::fromBinaryWords({5, 2, -7, -2, -2, 4, -1, -2, 9});
    EXPECT_EQ(loose.sequenceCount(), 3u);
    EXPECT_EQ(loose.sequence(0), (korv::Sequence{{5, 2}}));

    testsupport::ScratchDir dir;
    dir.writeFile("d.bin", testsupport::littleEndianBytes({1, 2, -1, 3, -1, -2, 1, -1, -2}));
    dir.writeFile("d.txt", "1 2 -1 3 -1 -2\n1 -1 -2\n");
    dir.writeFile("d.spec", "d.dat 4 2 2 2\n");
    dir.writeFile("d.dat", "1 2 -1\n1 -1\n-2\n");
    EXPECT_EQ(korv::Database::read(dir.file("d.bin")).words().size(), 9u);
    EXPECT_EQ(korv::Database::read(dir.file("d.txt")).sequence(0), (korv::Sequence{{1, 2}, {3}}));
    EXPECT_EQ(korv::Database::read(dir.file("d.spec")).sequence(0), (korv::Sequence{{1}, {2}}));
    try {
        korv::Database::read(dir.file("missing.bin"));
        ADD_FAILURE() << "no error";
    } catch (const korv::Error& error) {
        EXPECT_NE(std::string(error.what()).find("missing.bin"), std::string::npos) << error.what();
    }
}

TEST(Library, ThresholdsFollowEachProgramsRule) {
    using korv::absoluteSupport;
    constexpr auto truncated = korv::Rounding::truncated;
    constexpr auto halfUp = korv::Rounding::roundedHalfUp;
    const double inf = std::numeric_limits<double>::infinity();
    constexpr int32_t most = std::numeric_limits<int32_t>::max();
    constexpr int32_t least = std::numeric_limits<int32_t>::min();
    // korvplus: truncated toward zero, clamped to int32, NaN (0 × inf too) as 0.
    for (const auto& [count, fraction, expected] : std::vector<std::tuple<int64_t, double, int32_t>>{
             {7, 0.5, 3}, {10, 0.3, 3}, {7, 1.0, 7}, {7, 0.0, 0}, {7, -0.5, -3}, {7, std::nan(""), 0},
             {7, inf, most}, {7, -inf, least}, {2000000000, 5.0, most}, {0, inf, 0}})
        EXPECT_EQ(absoluteSupport(count, fraction, truncated), expected) << count << " x " << fraction;
    // korv and korvdump: + 0.5 before truncating; counts from a spec file may be negative.
    for (const auto& [count, fraction, expected] : std::vector<std::tuple<int64_t, double, int32_t>>{
             {4, 0.5, 2}, {10, 0.25, 3}, {1000, 0.01, 10}, {3, 0.5, 2}, {100, 0.004, 0}, {-5, 0.5, -2},
             {10, std::nan(""), 0}, {10, 1e300, most}, {0, inf, 0}})
        EXPECT_EQ(absoluteSupport(count, fraction, halfUp), expected) << count << " x " << fraction;
    EXPECT_EQ(korv::Threshold::relative(0.01).resolve(50), 1);  // never below one sequence
    EXPECT_EQ(korv::Threshold::absolute(4).resolve(2), 4);
    for (const double bad : {0.0, -0.5, 1.5})
        EXPECT_THROW(korv::Threshold::relative(bad), korv::Error) << bad;
    EXPECT_THROW(korv::Threshold::absolute(0), korv::Error);
}

// Random databases: one-item events give exactly the closed set; with itemsets every pattern is
// closed with its true support. Supporting sequences are the ones that contain the pattern, and
// three threads handing work over at every node deliver the same list.
TEST(Library, MinesWhatTheDefinitionGivesAtEveryThreadCount) {
    std::mt19937 random(15);
    for (int round = 0; round < 300; ++round) {
        const bool itemsets = round % 3 == 0;
        const testsupport::Database data =
            testsupport::randomDatabase(random, {.maxAlphabet = 4, .maxEvents = 5, .maxItemsPerEvent = itemsets ? 3 : 1});
        std::vector<korv::Sequence> sequences(data.begin(), data.end());
        const korv::Database db = korv::Database::fromSequences(sequences);
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(1, 3)(random);
        const std::vector<Found> serial =
            mineAll(db, {.threshold = korv::Threshold::absolute(minSupport), .threads = 1, .supportingSequences = true});
        SCOPED_TRACE("round " + std::to_string(round));
        const auto closed = testsupport::closedPatterns(data, minSupport);
        if (!itemsets) {
            ASSERT_EQ(serial.size(), closed.size());
        }
        for (const Found& found : serial) {
            const auto truth = closed.find(found.flat);
            ASSERT_NE(truth, closed.end());
            EXPECT_EQ(found.support, truth->second);
            std::vector<int32_t> holding;
            for (std::size_t s = 0; s < data.size(); ++s)
                if (testsupport::contains(data[s], testsupport::unflatten(found.flat))) holding.push_back(int32_t(s));
            EXPECT_EQ(found.sequences, holding);
        }
        EXPECT_EQ(mineAll(db, {.threshold = korv::Threshold::absolute(minSupport), .threads = 3,
                               .supportingSequences = true, .splitAtEveryNode = true, .bufferLimitBytes = 64}),
                  serial);
        // Without a callback the run only counts, unordered on threads: the same figures.
        const korv::MineSummary counted = korv::mine(
            db, {.threshold = korv::Threshold::absolute(minSupport), .threads = 3, .splitAtEveryNode = true}, nullptr);
        std::vector<int64_t> byLength(counted.byLength.size(), 0);
        for (const Found& found : serial) {
            const std::size_t items = std::size_t(std::count_if(found.flat.begin(), found.flat.end(), [](int32_t v) { return v >= 0; }));
            ASSERT_LT(items, byLength.size());
            ++byLength[items];
        }
        EXPECT_EQ(counted.closed, int64_t(serial.size()));
        EXPECT_EQ(counted.byLength, byLength);
        if (itemsets) continue;
        // The same sequences as item runs mine to the same list.
        std::vector<int32_t> runs{-1};
        for (const auto& sequence : data) {
            for (const auto& event : sequence) runs.push_back(event.front());
            runs.push_back(-1);
        }
        EXPECT_EQ(mineAll(korv::Database::fromItemRuns(korv::ItemRuns(runs.begin(), runs.end())),
                          {.threshold = korv::Threshold::absolute(minSupport), .threads = 1 + round % 2,
                           .supportingSequences = true}),
                  serial);
    }
}

TEST(Library, StopsFromTheCallbackOrFromAnotherThread) {
    std::mt19937 random(3);
    const testsupport::Database data = testsupport::randomDatabase(
        random, {.minAlphabet = 8, .maxAlphabet = 8, .minSequences = 30, .maxSequences = 30, .maxEvents = 12});
    const korv::Database db = korv::Database::fromSequences(std::vector<korv::Sequence>(data.begin(), data.end()));
    const std::vector<Found> all = mineAll(db, {.threshold = korv::Threshold::absolute(2)});
    ASSERT_GT(all.size(), 50u);
    for (const int threads : {1, 2}) {
        std::atomic<bool> stop{false};
        korv::Progress progress;
        std::size_t seen = 0;
        const korv::MineSummary summary =
            korv::mine(db, {.threshold = korv::Threshold::absolute(2), .threads = threads, .progress = &progress, .stop = &stop},
                       [&](const korv::Pattern&) {
                           if (++seen == 20) stop = true;
                           return true;
                       });
        EXPECT_TRUE(summary.stopped);
        EXPECT_EQ(summary.closed, 20);
        EXPECT_EQ(progress.closedFound.load(), 20);
        seen = 0;
        EXPECT_TRUE(korv::mine(db, {.threshold = korv::Threshold::absolute(2), .threads = threads},
                               [&](const korv::Pattern&) { return ++seen < 5; })
                        .stopped);
        EXPECT_EQ(seen, 5u);
    }
}

TEST(Library, EventLogsReadAsTheImporterReadsThem) {
    // Tab-separated (guessed from the first line, so the comma is part of a name), columns by
    // name, numeric times.
    std::istringstream tsv("item\tt\tkey\nb\t10\tx\na\t9\tx\nc,d\t10\tx\na\t2\tw\n");
    const korv::EventLog log =
        korv::readEventLog(tsv, "log", {.sequenceColumn = "key", .timeColumn = "t", .itemColumn = "item"});
    EXPECT_EQ(log.itemNames, (std::vector<std::string>{"a", "b", "c,d"}));
    EXPECT_EQ(log.rows, 4);
    ASSERT_EQ(log.database.sequenceCount(), 2u);
    EXPECT_EQ(log.database.sequence(0), (korv::Sequence{{0}}));
    EXPECT_EQ(log.database.sequence(1), (korv::Sequence{{0}, {1, 2}}));

    std::istringstream bad("k,t,i\nx,1\n");
    try {
        korv::readEventLog(bad, "bad.csv");
        FAIL() << "a short row was accepted";
    } catch (const korv::Error& error) {
        EXPECT_EQ(std::string(error.what()).rfind("bad.csv:", 0), 0u) << error.what();
    }
    EXPECT_THROW(korv::readEventLog("/nonexistent/log.csv"), korv::Error);
}

}  // namespace
