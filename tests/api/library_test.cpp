// The public library: databases built in memory or read from the three file forms, thresholds
// by either program's rule, and mine() against the brute-force definition of a closed pattern,
// with supports, supporting sequences, threads, a stop from outside and the korvplus program's
// own file on the same data.
#include <gtest/gtest.h>

#include <atomic>
#include <random>

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
    EXPECT_EQ(std::vector<int32_t>(db.words().begin(), db.words().end()),
              (std::vector<int32_t>{1, 3, -1, 2, -1, -2, -2, 0, -1, -2}));
    EXPECT_THROW(korv::Database::fromSequences({{{-4}}}), korv::Error);

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
    EXPECT_EQ(korv::absoluteSupport(7, 0.5, korv::Rounding::truncated), 3);
    EXPECT_EQ(korv::absoluteSupport(4, 0.5, korv::Rounding::roundedHalfUp), 2);
    EXPECT_EQ(korv::absoluteSupport(10, 0.25, korv::Rounding::roundedHalfUp), 3);
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

}  // namespace
