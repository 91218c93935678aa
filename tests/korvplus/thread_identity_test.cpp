// The parallel search against the serial one: random databases, of itemsets and of one-item
// events, mined at several thread counts give the same patterns in the same order and the same
// histogram, also when every node hands its remaining siblings over and the patterns waiting for
// their turn are bounded to almost nothing. The program gives the same bytes at every
// KORV_THREADS and refuses invalid values before it reads or creates anything.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/database.h"
#include "support/mining.h"
#include "support/run_program.h"
#include "thread_setting.h"

namespace {

// Sequences long enough for deep subtrees, over a small alphabet so that patterns are plentiful.
std::vector<int32_t> randomWords(std::mt19937& random, bool oneItemEvents, bool distinctItems = false) {
    const testsupport::DatabaseShape shape{.minAlphabet = 3, .maxAlphabet = 10, .minSequences = 5, .maxSequences = 25,
                                           .maxEvents = 12, .maxItemsPerEvent = oneItemEvents ? 1 : 3,
                                           .distinctItems = distinctItems};
    return testsupport::toWords(testsupport::randomDatabase(random, shape));
}

TEST(ParallelSearch, EveryThreadCountMinesLikeTheSerialSearch) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 40; ++round) {
        const bool oneItemEvents = round % 2 == 0;
        const std::vector<int32_t> words = randomWords(random, oneItemEvents, round % 4 == 2);
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(1, 4)(random);
        const testsupport::Mined serial = testsupport::mineKorvplus(words, minSupport);
        for (const int32_t threads : {2, 3, 8}) {
            ASSERT_EQ(testsupport::mineKorvplus(words, minSupport, {.threads = threads}), serial) << "round " << round << ", " << threads;
            ASSERT_EQ(testsupport::mineKorvplus(words, minSupport, {.threads = threads, .stress = true}), serial) << "round " << round << ", " << threads;
        }
    }
}

TEST(ThreadSetting, AcceptsOneToTheLimitAndNothingElse) {
    EXPECT_EQ(korvcore::parseThreadSetting(nullptr).threads, korvcore::availableCpus());
    EXPECT_EQ(korvcore::parseThreadSetting("").threads, korvcore::availableCpus());
    EXPECT_EQ(korvcore::parseThreadSetting("1").threads, 1);
    EXPECT_EQ(korvcore::parseThreadSetting("0001024").threads, 1024);
    for (const char* bad : {"0", "1025", "-1", "+2", " 2", "2 ", "two", "99999999999999999999"})
        EXPECT_FALSE(korvcore::parseThreadSetting(bad).valid) << bad;
}

TEST(ThreadSetting, TheProgramWritesTheSameBytesAndRefusesBadValues) {
    testsupport::ScratchDir dir;
    std::mt19937 random(7);
    std::vector<int32_t> words;
    for (int copy = 0; copy < 4; ++copy) {
        const std::vector<int32_t> part = randomWords(random, copy % 2 == 0);
        words.insert(words.end(), part.begin(), part.end());
    }
    dir.writeFile("db.bin", testsupport::littleEndianBytes(words));
    auto run = [&](const char* threads) {
        setenv(korvcore::kThreadsVariable, threads, 1);
        testsupport::ProgramResult result = testsupport::runProgram(KORVPLUS_PATH, {"0.05", "db.bin"}, dir.path());
        unsetenv(korvcore::kThreadsVariable);
        return result;
    };
    const testsupport::ProgramResult serial = run("1");
    ASSERT_EQ(serial.exitStatus, 0);
    const std::string serialFile = dir.readFile("ClosedPatterns.txt");
    for (const char* threads : {"2", "5", ""}) {
        const testsupport::ProgramResult parallel = run(threads);
        EXPECT_EQ(parallel.exitStatus, 0);
        EXPECT_EQ(testsupport::maskTime(parallel.out), testsupport::maskTime(serial.out));
        EXPECT_EQ(dir.readFile("ClosedPatterns.txt"), serialFile);
    }

    testsupport::ScratchDir empty;
    empty.writeFile("db.bin", testsupport::littleEndianBytes(words));
    setenv(korvcore::kThreadsVariable, "0", 1);
    const testsupport::ProgramResult refused = testsupport::runProgram(KORVPLUS_PATH, {"0.05", "db.bin"}, empty.path());
    unsetenv(korvcore::kThreadsVariable);
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(testsupport::splitLines(refused.err).size(), 1u);
    EXPECT_NE(refused.err.find("KORV_THREADS=\"0\""), std::string::npos);
    EXPECT_EQ(refused.out.find("Related Support"), std::string::npos);
    EXPECT_FALSE(empty.exists("ClosedPatterns.txt"));
}

}  // namespace
