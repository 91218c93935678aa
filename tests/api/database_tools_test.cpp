// What the library does with a database besides mining it, as korvdb does it: writing and reading
// the three file forms, the statistics, and the supports of listed patterns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "korv/korv.h"
#include "support/run_program.h"

namespace {

std::vector<korv::Sequence> sequencesOf(const korv::Database& db) {
    std::vector<korv::Sequence> sequences;
    for (std::size_t s = 0; s < db.sequenceCount(); ++s) sequences.push_back(db.sequence(s));
    return sequences;
}

std::string messageOf(auto&& action) {
    try {
        action();
    } catch (const korv::Error& error) {
        return error.what();
    }
    return "no error";
}

TEST(DatabaseTools, WrittenFormsReadBackInTheFormTheCallerNames) {
    testsupport::ScratchDir dir;
    const std::vector<korv::Sequence> itemsets{{{1, 2}, {3}}, {}, {{0}, {2}}};
    const korv::Database db = korv::Database::fromSequences(itemsets);
    // The form goes by what the caller names, not by the extension.
    for (const korv::FileForm form : {korv::FileForm::binary, korv::FileForm::text}) {
        db.write(dir.file("db.data"), form);
        EXPECT_EQ(sequencesOf(korv::Database::read(dir.file("db.data"), form)), itemsets);
    }
    EXPECT_EQ(korv::fileFormOfPath("a/db.spec"), korv::FileForm::korvPair);
    EXPECT_EQ(korv::fileFormNamed("txt"), korv::FileForm::text);
    EXPECT_FALSE(korv::fileFormOfPath("db.data").has_value());
    EXPECT_FALSE(korv::fileFormNamed(".bin").has_value());

    // A korv pair holds single items: an itemset is refused and leaves no file, unless flattened.
    EXPECT_EQ(messageOf([&] { db.write(dir.file("db.spec"), korv::FileForm::korvPair); }),
              "sequence 0 (0-based) has an event of 2 items; a korv database holds one item per event (--flatten "
              "writes them one after another)");
    EXPECT_FALSE(dir.exists("db.spec"));
    EXPECT_FALSE(dir.exists("db.dat"));
    db.write(dir.file("db.spec"), korv::FileForm::korvPair, true);
    EXPECT_EQ(dir.readFile("db.spec"), "db.dat 4 3 3 3\n");
    EXPECT_EQ(sequencesOf(korv::Database::read(dir.file("db.spec"))),
              (std::vector<korv::Sequence>{{{1}, {2}, {3}}, {}, {{0}, {2}}}));
    // Item runs are written as the one-item events they stand for.
    const korv::Database runs = korv::Database::fromItemRuns({-1, 4, 1, 4, -1, -1});
    runs.write(dir.file("runs.spec"), korv::FileForm::korvPair);
    EXPECT_EQ(sequencesOf(korv::Database::read(dir.file("runs.spec"))), sequencesOf(runs));

    EXPECT_EQ(messageOf([&] { korv::Database::read(dir.file("db.data")); }),
              dir.file("db.data") + ": unknown format (use .bin, .txt or .spec, or --from)");
}

TEST(DatabaseTools, StatisticsCountEveryFigure) {
    const korv::DatabaseStatistics figures =
        korv::statistics(korv::Database::fromSequences({{{1, 2}, {3}}, {}, {{0}}, {{5}, {5}, {5}, {5}}}));
    EXPECT_EQ(figures.sequences, 4);
    EXPECT_EQ(figures.events, 7);
    EXPECT_EQ(figures.items, 8);
    EXPECT_EQ(figures.distinctItems, 5);
    EXPECT_EQ(figures.largestItem, 5);
    EXPECT_EQ(figures.longestSequenceItems, 4);
    EXPECT_EQ(figures.longestSequenceEvents, 4);
    EXPECT_EQ(figures.largestEvent, 2);
    // Lengths 3, 0, 1 and 4 items: buckets 0, 1, 2-3 and 4-7.
    EXPECT_EQ(figures.sequencesByLength, (std::vector<int64_t>{1, 1, 1, 1}));

    const korv::DatabaseStatistics empty = korv::statistics(korv::Database());
    EXPECT_EQ(empty.sequences, 0);
    EXPECT_EQ(empty.largestItem, -1);
    EXPECT_TRUE(empty.sequencesByLength.empty());
}

TEST(DatabaseTools, SupportCounterFindsTheSequencesThatContainEachPattern) {
    const korv::Database db = korv::Database::fromSequences({{{1, 2}, {3}, {1}}, {{1}, {2, 3}}, {{3}, {1, 2}}});
    korv::SupportCounter counter(db);
    auto holding = [&](const std::vector<int32_t>& pattern) {
        const std::span<const int32_t> found = counter.supportingSequences(pattern);
        return std::vector<int32_t>(found.begin(), found.end());
    };
    // In the miners' order, each pattern after the ones it extends, and then out of that order.
    EXPECT_EQ(holding({1, -1}), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(holding({1, -1, 3, -1}), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(holding({1, -1, 3, -1, 1, -1}), (std::vector<int32_t>{0}));
    EXPECT_EQ(holding({1, 2, -1}), (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(holding({1, 2, -1, 3, -1}), (std::vector<int32_t>{0}));
    EXPECT_EQ(holding({3, -1, 1, 2, -1}), (std::vector<int32_t>{2}));
    EXPECT_EQ(holding({2, 3, -1}), (std::vector<int32_t>{1}));
    EXPECT_EQ(holding({9, -1}), (std::vector<int32_t>{}));
    for (const std::vector<int32_t>& bad : {std::vector<int32_t>{}, {1}, {1, -1, -1}, {-2, -1}})
        EXPECT_THROW(counter.supportingSequences(bad), korv::Error);

    // Item runs count as their one-item events.
    const korv::Database runsDb = korv::Database::fromItemRuns({-1, 4, 1, 4, -1, 1, -1});
    korv::SupportCounter runs(runsDb);
    const std::vector<int32_t> pattern{1, -1, 4, -1};
    EXPECT_EQ(runs.supportingSequences(pattern).size(), 1u);
}

}  // namespace
