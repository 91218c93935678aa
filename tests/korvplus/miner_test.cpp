// The search on small databases whose results are worked out by hand.
#include <gtest/gtest.h>

#include "support/closed_oracle.h"
#include "support/mining.h"

namespace {

using Patterns = std::vector<std::vector<int32_t>>;
using testsupport::mineKorvplus;

Patterns patternsAt(const std::vector<int32_t>& words, int32_t minSupport) {
    return mineKorvplus(words, minSupport).found.patterns;
}

TEST(SequenceMiner, ItemsetExtensionsAndTheirOrder) {
    // (1 2)(3), (1 2)(3)(1), (1)(3): (1) has the sequence extension 3 with its own support and is
    // not written; (1 2) has (1 2)(3) with its support; 2 and 3 are cut by the pruning check.
    const std::vector<int32_t> words{1, 2, -1, 3, -1, -2, 1, 2, -1, 3, -1, 1, -1, -2, 1, -1, 3, -1, -2};
    const testsupport::Mined atTwo = mineKorvplus(words, 2);
    EXPECT_EQ(atTwo.found.patterns, (Patterns{{1, -1, 3, -1}, {1, 2, -1, 3, -1}}));
    EXPECT_EQ(atTwo.closedCount, 2);
    EXPECT_EQ(atTwo.histogram, (std::vector<int64_t>{0, 1, 1, 0}));

    const testsupport::Mined atOne = mineKorvplus(words, 1);
    EXPECT_EQ(atOne.found.patterns, (Patterns{{1, -1, 3, -1}, {1, 2, -1, 3, -1}, {1, 2, -1, 3, -1, 1, -1}}));
    EXPECT_EQ(atOne.histogram, (std::vector<int64_t>{0, 1, 1, 1}));

    // A threshold of 0 or below mines like 1.
    EXPECT_EQ(patternsAt(words, 0), atOne.found.patterns);
    EXPECT_EQ(patternsAt(words, -3), atOne.found.patterns);
}

TEST(SequenceMiner, OneItemEventsFindExactlyTheClosedSequences) {
    // 0 1 2 / 0 2 1 2 / 1 0 2 at 2: (0)(1)(2) support 2, (0)(2) and (1)(2) support 3, in that order.
    EXPECT_EQ(patternsAt({0, -1, 1, -1, 2, -1, -2, 0, -1, 2, -1, 1, -1, 2, -1, -2, 1, -1, 0, -1, 2, -1, -2}, 2),
              (Patterns{{0, -1, 1, -1, 2, -1}, {0, -1, 2, -1}, {1, -1, 2, -1}}));

    // 1 0 1 twice: (1) has a backward extension, (1)(0) a forward one; (1)(1) is cut.
    EXPECT_EQ(patternsAt({1, -1, 0, -1, 1, -1, -2, 1, -1, 0, -1, 1, -1, -2}, 2),
              (Patterns{{1, -1, 0, -1, 1, -1}}));

    // 0 1 / 1 0 1: only (0)(1).
    EXPECT_EQ(patternsAt({0, -1, 1, -1, -2, 1, -1, 0, -1, 1, -1, -2}, 2), (Patterns{{0, -1, 1, -1}}));
}

TEST(SequenceMiner, ItemsetWindowReachesTheAppearanceInclusive) {
    // Two copies of (0 2)(1): the 2 that ends the first event lies inside the window of (0)(1),
    // so (0)(1), which (0 2)(1) contains with the same support, is never written.
    EXPECT_EQ(patternsAt({0, 2, -1, 1, -1, -2, 0, 2, -1, 1, -1, -2}, 2), (Patterns{{0, 2, -1, 1, -1}}));
}

TEST(SequenceMiner, PruningCutsClosedPatternsInsideEvents) {
    // (4), (0 1 4)(1), (0)(0 1)(1 4), (0 2 4) at 1: (1) is cut because 0 stands before it in its
    // first event in both supporting sequences, so the closed (1 4) of support 2 is never written.
    const testsupport::Database database{{{4}}, {{0, 1, 4}, {1}}, {{0}, {0, 1}, {1, 4}}, {{0, 2, 4}}};
    const testsupport::Mined outcome = mineKorvplus(testsupport::toWords(database), 1);
    const std::vector<int32_t> oneFour{1, 4, -1};
    EXPECT_EQ(testsupport::support(database, testsupport::unflatten(oneFour)), 2);
    EXPECT_TRUE(testsupport::isClosed(database, testsupport::unflatten(oneFour)));
    for (const auto& pattern : outcome.found.patterns) {
        EXPECT_NE(pattern, oneFour);
        EXPECT_NE(pattern.front(), 1) << "the subtree of (1) is cut";
    }
    EXPECT_FALSE(outcome.found.patterns.empty());
}

TEST(SequenceMiner, ProjectionStepsOverOneInfrequentItem) {
    // (3 5 6)(7) twice and (3 6)(7): at 2, 5 is not frequent. Results do not depend on the step.
    EXPECT_EQ(patternsAt({3, 5, 6, -1, 7, -1, -2, 3, 5, 6, -1, 7, -1, -2, 3, 6, -1, 7, -1, -2}, 3),
              (Patterns{{3, 6, -1, 7, -1}}));
}

TEST(SequenceMiner, WritesFileIdsWhateverTheirRange) {
    EXPECT_EQ(patternsAt({2147483647, -1, 5, -1, -2, 2147483647, -1, 5, -1, -2}, 2),
              (Patterns{{2147483647, -1, 5, -1}}));
}

TEST(SequenceMiner, DeepPatternsOfALongSequence) {
    // One sequence of 3000 events (7): the search goes 3000 levels deep and writes only the whole
    // sequence, every shorter pattern having an extension with the same support.
    std::vector<int32_t> words;
    for (int i = 0; i < 3000; ++i) words.insert(words.end(), {7, -1});
    words.push_back(-2);
    const testsupport::Mined outcome = mineKorvplus(words, 1);
    ASSERT_EQ(outcome.found.patterns.size(), 1u);
    EXPECT_EQ(outcome.found.patterns[0], std::vector<int32_t>(words.begin(), words.end() - 1));
    EXPECT_EQ(outcome.histogram.back(), 1);
}

TEST(SequenceMiner, EmptyDatabaseFindsNothing) {
    for (const std::vector<int32_t>& words : {std::vector<int32_t>{}, {-1, -2, -2}, {3, -1}}) {
        const testsupport::Mined outcome = mineKorvplus(words, 1);
        EXPECT_TRUE(outcome.found.patterns.empty());
        EXPECT_EQ(outcome.closedCount, 0);
    }
}

}  // namespace
