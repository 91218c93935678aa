// The optimized miner against the literal reference search, pattern for pattern and in order, on
// random well-formed itemset databases (fixed seeds). The reference resets every per-item array in
// full and scans all item ids at every node; the miner touches only what it uses.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "brute_force_miner.h"
#include "mining_harness.h"
#include "reference_miner.h"

namespace {

TEST(MinerReference, SameOutputAsTheLiteralSearch) {
    std::mt19937 random(424242);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 3000; ++round) {
        // Some ids unused, so that the dense renumbering and id order both matter.
        const int alphabet = uniform(1, 6);
        const int maxItemsPerEvent = uniform(1, 4);
        bruteforce::Database database(std::size_t(uniform(1, 8)));
        for (bruteforce::Sequence& sequence : database) {
            sequence.resize(std::size_t(uniform(0, 7)));
            for (bruteforce::Event& event : sequence) {
                std::set<int32_t> items;
                for (int i = uniform(1, maxItemsPerEvent); i > 0; --i) items.insert(2 * uniform(0, alphabet - 1));
                event.assign(items.begin(), items.end());
            }
        }
        const int32_t minSupport = uniform(1, int(database.size()));
        const std::vector<int32_t> words = bruteforce::toWords(database);

        const harness::MiningOutcome outcome = harness::mineWords(words, minSupport);
        std::vector<int32_t> sequenceData{-2};
        sequenceData.insert(sequenceData.end(), words.begin(), words.end());
        const reference::ReferenceResult expected = reference::referenceMine(
            sequenceData, outcome.figures.largestItemId + 1, minSupport, outcome.figures.maxSequenceItems);

        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(outcome.patterns, expected.patterns);
        ASSERT_EQ(outcome.lengthHistogram, std::vector<int64_t>(expected.lengthHistogram.begin(),
                                                                expected.lengthHistogram.end()));
    }
}

TEST(MinerReference, PrunedSubtreeExample) {
    // (4), (0 1 4)(1), (0)(0 1)(1 4), (0 2 4) at 1: the subtree of (1) is cut.
    const std::vector<std::vector<int32_t>> expected{
        {0, -1}, {0, -1, 0, 1, -1, 1, 4, -1}, {0, 1, -1, 1, -1}, {0, 1, 4, -1, 1, -1}, {0, 2, 4, -1}, {0, 4, -1},
        {4, -1}};
    const harness::MiningOutcome outcome =
        harness::mineWords({4, -1, -2, 0, 1, 4, -1, 1, -1, -2, 0, -1, 0, 1, -1, 1, 4, -1, -2, 0, 2, 4, -1, -2}, 1);
    EXPECT_EQ(outcome.patterns, expected);
    EXPECT_EQ(outcome.lengthHistogram, (std::vector<int64_t>{2, 1, 2, 1, 1}));
}

}  // namespace
