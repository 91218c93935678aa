// The search on small databases whose results are worked out by hand.
#include <gtest/gtest.h>

#include "mining_harness.h"
#include "support/closed_oracle.h"

namespace {

using Patterns = std::vector<std::vector<int32_t>>;

TEST(SequenceMiner, ItemsetExtensionsAndTheirOrder) {
    // (1 2)(3), (1 2)(3)(1), (1)(3): (1) has the sequence extension 3 with its own support and is
    // not written; (1 2) has (1 2)(3) with its support; 2 and 3 are cut by the pruning check.
    const std::vector<int32_t> words{1, 2, -1, 3, -1, -2, 1, 2, -1, 3, -1, 1, -1, -2, 1, -1, 3, -1, -2};
    const harness::MiningOutcome atTwo = harness::mineWords(words, 2);
    EXPECT_EQ(atTwo.patterns, (Patterns{{1, -1, 3, -1}, {1, 2, -1, 3, -1}}));
    EXPECT_EQ(atTwo.closedCount, 2);
    EXPECT_EQ(atTwo.lengthHistogram, (std::vector<int64_t>{0, 1, 1, 0}));

    const harness::MiningOutcome atOne = harness::mineWords(words, 1);
    EXPECT_EQ(atOne.patterns, (Patterns{{1, -1, 3, -1}, {1, 2, -1, 3, -1}, {1, 2, -1, 3, -1, 1, -1}}));
    EXPECT_EQ(atOne.lengthHistogram, (std::vector<int64_t>{0, 1, 1, 1}));

    // A threshold of 0 or below mines like 1.
    EXPECT_EQ(harness::mineWords(words, 0).patterns, atOne.patterns);
    EXPECT_EQ(harness::mineWords(words, -3).patterns, atOne.patterns);
}

TEST(SequenceMiner, OneItemEventsFindExactlyTheClosedSequences) {
    // 0 1 2 / 0 2 1 2 / 1 0 2 at 2: (0)(1)(2) support 2, (0)(2) and (1)(2) support 3, in that order.
    const harness::MiningOutcome three =
        harness::mineWords({0, -1, 1, -1, 2, -1, -2, 0, -1, 2, -1, 1, -1, 2, -1, -2, 1, -1, 0, -1, 2, -1, -2}, 2);
    EXPECT_EQ(three.patterns, (Patterns{{0, -1, 1, -1, 2, -1}, {0, -1, 2, -1}, {1, -1, 2, -1}}));

    // 1 0 1 twice: (1) has a backward extension, (1)(0) a forward one; (1)(1) is cut.
    EXPECT_EQ(harness::mineWords({1, -1, 0, -1, 1, -1, -2, 1, -1, 0, -1, 1, -1, -2}, 2).patterns,
              (Patterns{{1, -1, 0, -1, 1, -1}}));

    // 0 1 / 1 0 1: only (0)(1).
    EXPECT_EQ(harness::mineWords({0, -1, 1, -1, -2, 1, -1, 0, -1, 1, -1, -2}, 2).patterns, (Patterns{{0, -1, 1, -1}}));
}

TEST(SequenceMiner, ItemsetWindowReachesTheAppearanceInclusive) {
    // Two copies of (0 2)(1): the 2 that ends the first event lies inside the window of (0)(1),
    // so (0)(1), which (0 2)(1) contains with the same support, is never written.
    EXPECT_EQ(harness::mineWords({0, 2, -1, 1, -1, -2, 0, 2, -1, 1, -1, -2}, 2).patterns,
              (Patterns{{0, 2, -1, 1, -1}}));
}

TEST(SequenceMiner, PruningCutsClosedPatternsInsideEvents) {
    // (4), (0 1 4)(1), (0)(0 1)(1 4), (0 2 4) at 1: (1) is cut because 0 stands before it in its
    // first event in both supporting sequences, so the closed (1 4) of support 2 is never written.
    const testsupport::Database database{{{4}}, {{0, 1, 4}, {1}}, {{0}, {0, 1}, {1, 4}}, {{0, 2, 4}}};
    const harness::MiningOutcome outcome = harness::mineWords(testsupport::toWords(database), 1);
    const std::vector<int32_t> oneFour{1, 4, -1};
    EXPECT_EQ(testsupport::support(database, testsupport::unflatten(oneFour)), 2);
    EXPECT_TRUE(testsupport::isClosed(database, testsupport::unflatten(oneFour)));
    for (const auto& pattern : outcome.patterns) {
        EXPECT_NE(pattern, oneFour);
        EXPECT_NE(pattern.front(), 1) << "the subtree of (1) is cut";
    }
    EXPECT_FALSE(outcome.patterns.empty());
}

TEST(SequenceMiner, ProjectionStepsOverOneInfrequentItem) {
    // (3 5 6)(7) twice and (3 6)(7): at 2, 5 is not frequent. Results do not depend on the step.
    const harness::MiningOutcome outcome =
        harness::mineWords({3, 5, 6, -1, 7, -1, -2, 3, 5, 6, -1, 7, -1, -2, 3, 6, -1, 7, -1, -2}, 3);
    EXPECT_EQ(outcome.patterns, (Patterns{{3, 6, -1, 7, -1}}));
}

TEST(SequenceMiner, WritesFileIdsWhateverTheirRange) {
    const harness::MiningOutcome outcome =
        harness::mineWords({2147483647, -1, 5, -1, -2, 2147483647, -1, 5, -1, -2}, 2);
    EXPECT_EQ(outcome.patterns, (Patterns{{2147483647, -1, 5, -1}}));
    EXPECT_EQ(harness::patternFileText(outcome.patterns), " 2147483647 ||  5 || \n");
}

TEST(SequenceMiner, DeepPatternsOfALongSequence) {
    // One sequence of 3000 events (7): the search goes 3000 levels deep and writes only the whole
    // sequence, every shorter pattern having an extension with the same support.
    std::vector<int32_t> words;
    for (int i = 0; i < 3000; ++i) words.insert(words.end(), {7, -1});
    words.push_back(-2);
    const harness::MiningOutcome outcome = harness::mineWords(words, 1);
    ASSERT_EQ(outcome.patterns.size(), 1u);
    EXPECT_EQ(outcome.patterns[0], std::vector<int32_t>(words.begin(), words.end() - 1));
    EXPECT_EQ(outcome.lengthHistogram.back(), 1);
}

TEST(SequenceMiner, EmptyDatabaseFindsNothing) {
    for (const std::vector<int32_t>& words : {std::vector<int32_t>{}, {-1, -2, -2}, {3, -1}}) {
        const harness::MiningOutcome outcome = harness::mineWords(words, 1);
        EXPECT_TRUE(outcome.patterns.empty());
        EXPECT_EQ(outcome.closedCount, 0);
    }
}

}  // namespace
