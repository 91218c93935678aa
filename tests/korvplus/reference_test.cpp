// The optimized miner against the literal reference search, pattern for pattern and in order, on
// random well-formed itemset databases (fixed seeds). The reference resets every per-item array in
// full and scans all item ids at every node; the miner touches only what it uses.
#include <gtest/gtest.h>

#include <random>

#include "reference_miner.h"
#include "support/database.h"
#include "support/mining.h"

namespace {

TEST(MinerReference, SameOutputAsTheLiteralSearch) {
    std::mt19937 random(424242);
    for (int round = 0; round < 3000; ++round) {
        // Some ids unused, so that the dense renumbering and id order both matter.
        const testsupport::DatabaseShape shape{.maxAlphabet = 6,
                                               .maxItemsPerEvent = std::uniform_int_distribution<int>(1, 4)(random),
                                               .ids = testsupport::IdSpread::gapped};
        const testsupport::Database database = testsupport::randomDatabase(random, shape);
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(1, int32_t(database.size()))(random);
        const std::vector<int32_t> words = testsupport::toWords(database);

        const testsupport::Mined outcome = testsupport::mineKorvplus(words, minSupport);
        const testsupport::LoadedFile loaded = testsupport::loadWords(words);
        const reference::ReferenceResult expected = reference::referenceMine(
            loaded.sequenceData, loaded.figures.largestItemId + 1, minSupport, loaded.figures.maxSequenceItems);

        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(outcome.found.patterns, expected.patterns);
        ASSERT_EQ(outcome.histogram,
                  std::vector<int64_t>(expected.lengthHistogram.begin(), expected.lengthHistogram.end()));
    }
}

TEST(MinerReference, PrunedSubtreeExample) {
    // (4), (0 1 4)(1), (0)(0 1)(1 4), (0 2 4) at 1: the subtree of (1) is cut.
    const std::vector<std::vector<int32_t>> expected{
        {0, -1}, {0, -1, 0, 1, -1, 1, 4, -1}, {0, 1, -1, 1, -1}, {0, 1, 4, -1, 1, -1}, {0, 2, 4, -1}, {0, 4, -1},
        {4, -1}};
    const testsupport::Mined outcome =
        testsupport::mineKorvplus({4, -1, -2, 0, 1, 4, -1, 1, -1, -2, 0, -1, 0, 1, -1, 1, 4, -1, -2, 0, 2, 4, -1, -2}, 1);
    EXPECT_EQ(outcome.found.patterns, expected);
    EXPECT_EQ(outcome.histogram, (std::vector<int64_t>{2, 1, 2, 1, 1}));
}

}  // namespace
