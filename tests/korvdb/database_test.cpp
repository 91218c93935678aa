// The three database forms round-trip, and `support` agrees with a brute-force containment count.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include "pattern_support.h"
#include "sequence_database.h"
#include "support/run_program.h"

namespace {

using korvdb::DatabaseFormat;
using korvdb::SequenceDatabase;

SequenceDatabase randomDatabase(std::mt19937& rng, int sequences, int items, int maxEventItems) {
    SequenceDatabase db;
    for (int s = 0; s < sequences; ++s) {
        const int events = int(rng() % 6);
        for (int e = 0; e < events; ++e) {
            std::set<int32_t> event;
            const int size = 1 + int(rng() % unsigned(maxEventItems));
            while (int(event.size()) < size) event.insert(int32_t(rng() % unsigned(items)));
            for (int32_t item : event) {
                db.words.push_back(item);
                db.largestItem = std::max(db.largestItem, item);
            }
            db.words.push_back(-1);
        }
        db.words.push_back(-2);
        db.sequenceStart.push_back(uint32_t(db.words.size()));
    }
    return db;
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
        const SequenceDatabase db = randomDatabase(rng, 1 + round, 12, singleItems ? 1 : 4);
        for (const char* name : {"db.bin", "db.txt", "db.spec"}) {
            const DatabaseFormat format = korvdb::formatFromPath(name);
            if (format == DatabaseFormat::korv && !singleItems) continue;
            ASSERT_EQ(korvdb::saveDatabase(dir.file(name), format, db, false), "");
            SequenceDatabase back;
            ASSERT_EQ(korvdb::loadDatabase(dir.file(name), format, back), "");
            expectSame(db, back);
        }
    }
}

TEST(DatabaseForms, KorvPairNamesItsDataAndComputesItsFields) {
    testsupport::ScratchDir dir;
    SequenceDatabase db;
    ASSERT_EQ(korvdb::readTextDatabase("0 3 -1 1 -1 -2\n7 -1 -2\n-2\n", "t", db), "");
    EXPECT_NE(korvdb::saveDatabase(dir.file("x.spec"), DatabaseFormat::korv, db, false).find("sequence 0"),
              std::string::npos);
    EXPECT_FALSE(dir.exists("x.spec"));
    EXPECT_FALSE(dir.exists("x.dat"));
    ASSERT_EQ(korvdb::saveDatabase(dir.file("x.spec"), DatabaseFormat::korv, db, true), "");
    EXPECT_EQ(dir.readFile("x.spec"), "x.dat 8 3 3 3\n");
    EXPECT_EQ(dir.readFile("x.dat"), "0 3 1 -1\n7 -1\n-1\n-2\n");
}

// Containment by trying every embedding, independent of the counter's earliest-match rule.
bool containsFrom(const std::vector<std::vector<int32_t>>& sequence, std::size_t from,
                  const std::vector<std::vector<int32_t>>& pattern, std::size_t next) {
    if (next == pattern.size()) return true;
    for (std::size_t e = from; e < sequence.size(); ++e)
        if (std::includes(sequence[e].begin(), sequence[e].end(), pattern[next].begin(), pattern[next].end()) &&
            containsFrom(sequence, e + 1, pattern, next + 1))
            return true;
    return false;
}

std::vector<std::vector<int32_t>> events(const std::vector<int32_t>& words, std::size_t begin, std::size_t end) {
    std::vector<std::vector<int32_t>> result(1);
    for (std::size_t k = begin; k < end; ++k) {
        if (words[k] == -2) break;
        if (words[k] == -1) result.emplace_back();
        else result.back().push_back(words[k]);
    }
    result.pop_back();
    return result;
}

TEST(SupportCounter, AgreesWithBruteForceOnPatternListsInPreOrder) {
    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        const SequenceDatabase db = randomDatabase(rng, 12, 5, 3);
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
        korvdb::SupportCounter counter(db);
        for (const std::vector<int32_t>& pattern : patterns) {
            std::vector<int32_t> expected;
            for (std::size_t s = 0; s < db.sequenceCount(); ++s)
                if (containsFrom(events(db.words, db.sequenceStart[s], db.sequenceStart[s + 1]), 0,
                                 events(pattern, 0, pattern.size()), 0))
                    expected.push_back(int32_t(s));
            const auto got = counter.supportingSequences(pattern);
            ASSERT_EQ(std::vector<int32_t>(got.begin(), got.end()), expected) << "round " << round;
        }
    }
}

}  // namespace
