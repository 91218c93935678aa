// The three database forms round-trip, and the support counter agrees with the oracle's containment.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "pattern_support.h"
#include "sequence_database.h"
#include "support/closed_oracle.h"
#include "support/database.h"
#include "support/run_program.h"

namespace {

using korvdatabase::DatabaseFormat;
using korvdatabase::SequenceDatabase;

// A random database of `sequences` sequences of up to 5 events over `items` items, and the same
// in korvdb's form.
struct RandomDatabase {
    testsupport::Database events;
    SequenceDatabase db;
};

RandomDatabase randomDatabase(std::mt19937& rng, int sequences, int items, int maxEventItems) {
    RandomDatabase random;
    random.events = testsupport::randomDatabase(rng, {.minAlphabet = items, .maxAlphabet = items, .minSequences = sequences,
                                                      .maxSequences = sequences, .maxEvents = 5,
                                                      .maxItemsPerEvent = maxEventItems});
    random.db.words = testsupport::toWords(random.events);
    for (std::size_t k = 0; k < random.db.words.size(); ++k) {
        if (random.db.words[k] == -2) random.db.sequenceStart.push_back(uint32_t(k + 1));
        random.db.largestItem = std::max(random.db.largestItem, random.db.words[k]);
    }
    return random;
}

void expectSame(const SequenceDatabase& a, const SequenceDatabase& b) {
    EXPECT_EQ(a.words, b.words);
    EXPECT_EQ(a.sequenceStart, b.sequenceStart);
    EXPECT_EQ(a.largestItem, b.largestItem);
}

TEST(DatabaseForms, RoundTripThroughEveryForm) {
    testsupport::ScratchDir dir;
    std::mt19937 rng(11);
    for (int round = 0; round < 30; ++round) {
        const bool singleItems = round % 2 == 0;
        const SequenceDatabase db = randomDatabase(rng, 1 + round, 12, singleItems ? 1 : 4).db;
        for (const char* name : {"db.bin", "db.txt", "db.spec"}) {
            const DatabaseFormat format = korvdatabase::formatFromPath(name);
            if (format == DatabaseFormat::korv && !singleItems) continue;
            ASSERT_EQ(korvdatabase::saveDatabase(dir.file(name), format, db, false), "");
            SequenceDatabase back;
            ASSERT_EQ(korvdatabase::loadDatabase(dir.file(name), format, back), "");
            expectSame(db, back);
        }
    }
}

TEST(DatabaseForms, KorvPairNamesItsDataAndComputesItsFields) {
    testsupport::ScratchDir dir;
    SequenceDatabase db;
    ASSERT_EQ(korvdatabase::readTextDatabase("0 3 -1 1 -1 -2\n7 -1 -2\n-2\n", "t", db), "");
    EXPECT_NE(korvdatabase::saveDatabase(dir.file("x.spec"), DatabaseFormat::korv, db, false).find("sequence 0"),
              std::string::npos);
    EXPECT_FALSE(dir.exists("x.spec"));
    EXPECT_FALSE(dir.exists("x.dat"));
    ASSERT_EQ(korvdatabase::saveDatabase(dir.file("x.spec"), DatabaseFormat::korv, db, true), "");
    EXPECT_EQ(dir.readFile("x.spec"), "x.dat 8 3 3 3\n");
    EXPECT_EQ(dir.readFile("x.dat"), "0 3 1 -1\n7 -1\n-1\n-2\n");
}

TEST(SupportCounter, AgreesWithBruteForceOnPatternListsInPreOrder) {
    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        const RandomDatabase random = randomDatabase(rng, 12, 5, 3);
        // Patterns: random ones, their prefixes and extensions, listed in lexicographic order so
        // that a prefix comes before what extends it.
        std::set<std::vector<int32_t>> patterns;
        for (int k = 0; k < 60; ++k) {
            std::vector<int32_t> pattern;
            const int eventCount = 1 + int(rng() % 3);
            for (int e = 0; e < eventCount; ++e) {
                std::set<int32_t> event{int32_t(rng() % 5)};
                if (rng() % 3 == 0) event.insert(int32_t(rng() % 5));
                pattern.insert(pattern.end(), event.begin(), event.end());
                pattern.push_back(-1);
                patterns.insert(pattern);
            }
        }
        korvdatabase::SupportCounter counter(random.db);
        for (const std::vector<int32_t>& pattern : patterns) {
            std::vector<int32_t> expected;
            for (std::size_t s = 0; s < random.events.size(); ++s)
                if (testsupport::contains(random.events[s], testsupport::unflatten(pattern))) expected.push_back(int32_t(s));
            const auto got = counter.supportingSequences(pattern);
            ASSERT_EQ(std::vector<int32_t>(got.begin(), got.end()), expected) << "round " << round;
        }
    }
}

}  // namespace
