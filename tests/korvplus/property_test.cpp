// The miner against the brute-force definition of a closed pattern on many random small
// databases (fixed seeds).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "brute_force_miner.h"
#include "mining_harness.h"

namespace {

struct RandomDatabase {
    bruteforce::Database database;
    int32_t alphabetSize = 0;
};

RandomDatabase randomDatabase(std::mt19937& random, int maxItemsPerEvent) {
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    RandomDatabase result;
    result.alphabetSize = uniform(1, 5);
    const int sequences = uniform(1, 8);
    for (int s = 0; s < sequences; ++s) {
        bruteforce::Sequence sequence;
        const int events = uniform(0, 7);
        for (int e = 0; e < events; ++e) {
            std::set<int32_t> items;
            const int size = uniform(1, maxItemsPerEvent);
            for (int i = 0; i < size; ++i) items.insert(uniform(0, result.alphabetSize - 1));
            sequence.emplace_back(items.begin(), items.end());
        }
        result.database.push_back(sequence);
    }
    return result;
}

// A written pattern is an extension of another when it grows from it by appending items.
bool extends(const std::vector<int32_t>& longer, const std::vector<int32_t>& shorter) {
    return longer.size() > shorter.size() && std::equal(shorter.begin(), shorter.end() - 1, longer.begin());
}

void checkSoundness(const RandomDatabase& random, int32_t minSupport, const harness::MiningOutcome& outcome) {
    std::set<std::vector<int32_t>> seen;
    for (std::size_t i = 0; i < outcome.patterns.size(); ++i) {
        const std::vector<int32_t>& pattern = outcome.patterns[i];
        ASSERT_TRUE(seen.insert(pattern).second) << "written twice";
        const int32_t support = bruteforce::support(random.database, pattern);
        ASSERT_GE(support, std::max(minSupport, 1));
        ASSERT_TRUE(bruteforce::isClosed(random.database, bruteforce::unflatten(pattern), random.alphabetSize));
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
        const RandomDatabase db = randomDatabase(random, 1);
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(0, int32_t(db.database.size()))(random);
        const harness::MiningOutcome outcome = harness::mineWords(bruteforce::toWords(db.database), minSupport);
        SCOPED_TRACE("round " + std::to_string(round));
        checkSoundness(db, minSupport, outcome);

        std::map<std::vector<int32_t>, int32_t> written;
        for (const auto& pattern : outcome.patterns) written[pattern] = bruteforce::support(db.database, pattern);
        ASSERT_EQ(written, bruteforce::closedPatterns(db.database, minSupport, db.alphabetSize));
    }
}

TEST(MinerProperty, ItemsetEventsWriteOnlyClosedPatternsOnce) {
    std::mt19937 random(7);
    for (int round = 0; round < 2500; ++round) {
        const RandomDatabase db = randomDatabase(random, 3);
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(1, int32_t(db.database.size()))(random);
        const harness::MiningOutcome outcome = harness::mineWords(bruteforce::toWords(db.database), minSupport);
        SCOPED_TRACE("round " + std::to_string(round));
        checkSoundness(db, minSupport, outcome);
    }
}

// Random words, markers and stray values in any order: nothing may fault, and the prepared
// database keeps its invariants (checked inside mineWords).
TEST(MinerProperty, ArbitraryWordsNeverFault) {
    std::mt19937 random(99);
    for (int round = 0; round < 3000; ++round) {
        std::vector<int32_t> words(std::uniform_int_distribution<std::size_t>(0, 40)(random));
        for (int32_t& word : words) {
            const int kind = std::uniform_int_distribution<int>(0, 9)(random);
            word = kind < 5 ? std::uniform_int_distribution<int32_t>(0, 4)(random)
                 : kind < 7 ? -1
                 : kind < 9 ? -2
                            : std::uniform_int_distribution<int32_t>(-100, -3)(random);
        }
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(-1, 3)(random);
        const harness::MiningOutcome outcome = harness::mineWords(words, minSupport);
        ASSERT_EQ(outcome.closedCount, int64_t(outcome.patterns.size()));
    }
}

}  // namespace
