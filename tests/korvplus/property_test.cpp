// The miner against the brute-force definition of a closed pattern on many random small
// databases (fixed seeds). The counts that come with the patterns are checked inside
// mineKorvplus on every run.
#include <gtest/gtest.h>

#include <random>

#include "support/closed_oracle.h"
#include "support/mining.h"

namespace {

std::string errorOfRun(const testsupport::Database& database, int32_t minSupport) {
    const testsupport::Mined mined = testsupport::mineKorvplus(testsupport::toWords(database), minSupport);
    return testsupport::closedOutputError(database, minSupport, mined.found.patterns);
}

TEST(MinerProperty, OneItemEventsGiveExactlyTheClosedSet) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 2500; ++round) {
        // Every other database holds no item twice in a sequence, which the search keeps leaner.
        const testsupport::Database database =
            testsupport::randomDatabase(random, {.maxEvents = 9, .distinctItems = round % 2 == 1});
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(0, int32_t(database.size()))(random);
        ASSERT_EQ(errorOfRun(database, minSupport), "") << "round " << round;
    }
}

TEST(MinerProperty, ItemsetEventsWriteOnlyClosedPatternsOnce) {
    std::mt19937 random(7);
    for (int round = 0; round < 2500; ++round) {
        const testsupport::Database database = testsupport::randomDatabase(random, {.maxItemsPerEvent = 3});
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(1, int32_t(database.size()))(random);
        ASSERT_EQ(errorOfRun(database, minSupport), "") << "round " << round;
    }
}

// Random words, markers and stray values in any order: nothing may fault, and the prepared
// database keeps its invariants (checked inside mineKorvplus).
TEST(MinerProperty, ArbitraryWordsNeverFault) {
    std::mt19937 random(99);
    for (int round = 0; round < 3000; ++round) {
        const std::vector<int32_t> words = testsupport::randomWords(random, 40);
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(-1, 3)(random);
        ASSERT_NO_THROW(testsupport::mineKorvplus(words, minSupport)) << "round " << round;
    }
}

}  // namespace
