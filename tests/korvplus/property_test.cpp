// The miner against the brute-force definition of a closed pattern on many random small
// databases (fixed seeds).
#include <gtest/gtest.h>

#include <random>

#include "mining_harness.h"
#include "support/closed_oracle.h"

namespace {

// The written patterns against the oracle, and the counts against the written patterns.
void checkSoundness(const testsupport::Database& database, int32_t minSupport, const harness::MiningOutcome& outcome) {
    ASSERT_EQ(testsupport::closedOutputError(database, minSupport, outcome.patterns), "");
    ASSERT_EQ(outcome.closedCount, int64_t(outcome.patterns.size()));
    int64_t histogramTotal = 0;
    for (const int64_t count : outcome.lengthHistogram) histogramTotal += count;
    ASSERT_EQ(histogramTotal, outcome.closedCount);
}

TEST(MinerProperty, OneItemEventsGiveExactlyTheClosedSet) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 2500; ++round) {
        // Every other database holds no item twice in a sequence, which the search keeps leaner.
        const testsupport::Database database =
            testsupport::randomDatabase(random, {.maxEvents = 9, .distinctItems = round % 2 == 1});
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(0, int32_t(database.size()))(random);
        const harness::MiningOutcome outcome = harness::mineWords(testsupport::toWords(database), minSupport);
        SCOPED_TRACE("round " + std::to_string(round));
        checkSoundness(database, minSupport, outcome);
    }
}

TEST(MinerProperty, ItemsetEventsWriteOnlyClosedPatternsOnce) {
    std::mt19937 random(7);
    for (int round = 0; round < 2500; ++round) {
        const testsupport::Database database = testsupport::randomDatabase(random, {.maxItemsPerEvent = 3});
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(1, int32_t(database.size()))(random);
        const harness::MiningOutcome outcome = harness::mineWords(testsupport::toWords(database), minSupport);
        SCOPED_TRACE("round " + std::to_string(round));
        checkSoundness(database, minSupport, outcome);
    }
}

// Random words, markers and stray values in any order: nothing may fault, and the prepared
// database keeps its invariants (checked inside mineWords).
TEST(MinerProperty, ArbitraryWordsNeverFault) {
    std::mt19937 random(99);
    for (int round = 0; round < 3000; ++round) {
        const std::vector<int32_t> words = testsupport::randomWords(random, 40);
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(-1, 3)(random);
        const harness::MiningOutcome outcome = harness::mineWords(words, minSupport);
        ASSERT_EQ(outcome.closedCount, int64_t(outcome.patterns.size()));
    }
}

}  // namespace
