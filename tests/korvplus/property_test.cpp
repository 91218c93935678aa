// The miner against the brute-force definition of a closed pattern on many random small
// databases (fixed seeds).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "mining_harness.h"
#include "support/closed_oracle.h"

namespace {

// A written pattern is an extension of another when it grows from it by appending items.
bool extends(const std::vector<int32_t>& longer, const std::vector<int32_t>& shorter) {
    return longer.size() > shorter.size() && std::equal(shorter.begin(), shorter.end() - 1, longer.begin());
}

void checkSoundness(const testsupport::Database& database, int32_t minSupport, const harness::MiningOutcome& outcome) {
    std::set<std::vector<int32_t>> seen;
    for (std::size_t i = 0; i < outcome.patterns.size(); ++i) {
        const std::vector<int32_t>& pattern = outcome.patterns[i];
        ASSERT_TRUE(seen.insert(pattern).second) << "written twice";
        const int32_t support = testsupport::support(database, testsupport::unflatten(pattern));
        ASSERT_GE(support, std::max(minSupport, 1));
        ASSERT_TRUE(testsupport::isClosed(database, testsupport::unflatten(pattern)));
        for (std::size_t j = 0; j < i; ++j) ASSERT_FALSE(extends(outcome.patterns[j], pattern)) << "extension first";
    }
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

        std::map<std::vector<int32_t>, int32_t> written;
        for (const auto& pattern : outcome.patterns)
            written[pattern] = testsupport::support(database, testsupport::unflatten(pattern));
        ASSERT_EQ(written, testsupport::closedPatterns(database, minSupport));
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
