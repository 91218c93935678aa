// The threaded search against the serial one, in both miners: random databases mined at several
// thread counts give the same patterns in the same order, with the same counts and histogram,
// also when every node hands its remaining siblings over and the output waiting for its turn is
// bounded to almost nothing. KORV_THREADS: its reading, the programs' bytes at every value, and
// each program's refusal of a bad one before it reads or creates anything.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "data_file.h"
#include "support/database.h"
#include "support/mining.h"
#include "support/run_program.h"
#include "thread_setting.h"
#include "token_scanner.h"

namespace {

// Sequences long enough for deep subtrees, over a small alphabet so that patterns are plentiful.
std::vector<int32_t> randomWords(std::mt19937& random, bool oneItemEvents, bool distinctItems = false) {
    const testsupport::DatabaseShape shape{.minAlphabet = 3, .maxAlphabet = 10, .minSequences = 5, .maxSequences = 25,
                                           .maxEvents = 12, .maxItemsPerEvent = oneItemEvents ? 1 : 3,
                                           .distinctItems = distinctItems};
    return testsupport::toWords(testsupport::randomDatabase(random, shape));
}

// korv's data text: longer sequences, and sometimes no sequence holds an item twice, which the
// search treats apart.
std::string randomText(std::mt19937& random, int sequences) {
    const bool distinct = std::uniform_int_distribution<int>(0, 2)(random) == 0;
    const testsupport::DatabaseShape shape{.minAlphabet = distinct ? 30 : 3, .maxAlphabet = distinct ? 50 : 12,
                                           .minSequences = sequences, .maxSequences = sequences, .maxEvents = 25,
                                           .distinctItems = distinct};
    return testsupport::tokenText(testsupport::randomItemSequences(random, shape));
}

TEST(ParallelSearch, KorvplusMinesLikeTheSerialSearch) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 40; ++round) {
        const std::vector<int32_t> words = randomWords(random, round % 2 == 0, round % 4 == 2);
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(1, 4)(random);
        const testsupport::Mined serial = testsupport::mineKorvplus(words, minSupport);
        for (const int32_t threads : {2, 3, 8}) {
            for (const bool stress : {false, true})
                ASSERT_EQ(testsupport::mineKorvplus(words, minSupport, {.threads = threads, .stress = stress}), serial)
                    << "round " << round << ", " << threads << " threads, stress " << stress;
        }
    }
}

TEST(ParallelSearch, KorvMinesLikeTheSerialSearch) {
    std::mt19937 random(6);
    for (int round = 0; round < 30; ++round) {
        const int sequences = std::uniform_int_distribution<int>(5, 60)(random);
        const std::string text = randomText(random, sequences);
        const auto absSupport = std::uniform_int_distribution<int32_t>(2, 2 + sequences / 4)(random);
        korv::token_scanner scanner(text);
        korv::data_file_contents contents;
        ASSERT_EQ(korv::load_sequences(scanner, sequences, contents), korv::load_status::ok);
        const std::vector<int32_t> db(contents.runs.begin(), contents.runs.end());
        const testsupport::Mined serial = testsupport::mineKorv(db, absSupport);
        for (const int32_t threads : {2, 3, 8}) {
            for (const bool stress : {false, true})
                ASSERT_EQ(testsupport::mineKorv(db, absSupport, {.threads = threads, .stress = stress}), serial)
                    << threads << " threads, stress " << stress << ", support " << absSupport << ", data:\n" << text;
        }
    }
}

// Threads of other processes (a loopback cluster in this one) take tasks through the engines'
// task codecs: every split and its records cross as words, and the order stays the serial one.
TEST(ClusterSearch, BothMinersMineLikeTheSerialSearchAcrossProcesses) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 8; ++round) {
        const std::vector<int32_t> words = randomWords(random, round % 2 == 0, round % 4 == 2);
        const int32_t minSupport = std::uniform_int_distribution<int32_t>(1, 4)(random);
        const std::string text = randomText(random, 40);
        const testsupport::Mined serialKorvplus = testsupport::mineKorvplus(words, minSupport);
        const testsupport::Mined serialKorv = testsupport::mineKorv(text, 40, minSupport + 1);
        for (const std::vector<int32_t>& followers : {std::vector<int32_t>{1}, std::vector<int32_t>{2, 1}}) {
            const testsupport::MiningSettings settings{.threads = round % 3 == 0 ? 2 : 1, .stress = round % 4 != 3,
                                                       .followers = followers};
            ASSERT_EQ(testsupport::mineKorvplus(words, minSupport, settings), serialKorvplus)
                << "round " << round << ", " << followers.size() << " followers";
            ASSERT_EQ(testsupport::mineKorv(text, 40, minSupport + 1, settings), serialKorv)
                << "round " << round << ", " << followers.size() << " followers";
            // A run without a callback: the followers send counts, not patterns.
            testsupport::MiningSettings counting = settings;
            counting.countOnly = true;
            for (const testsupport::Mined* serial : {&serialKorvplus, &serialKorv}) {
                const testsupport::Mined counted = serial == &serialKorv
                                                       ? testsupport::mineKorv(text, 40, minSupport + 1, counting)
                                                       : testsupport::mineKorvplus(words, minSupport, counting);
                ASSERT_EQ(counted.closedCount, serial->closedCount) << "round " << round << ", counting";
                ASSERT_EQ(counted.histogram, serial->histogram) << "round " << round << ", counting";
            }
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

testsupport::ProgramResult runWithThreads(const char* threads, const char* program,
                                          const std::vector<std::string>& args, const std::string& dir) {
    ::setenv("KORV_THREADS", threads, 1);
    testsupport::ProgramResult result = testsupport::runProgram(program, args, dir);
    ::unsetenv("KORV_THREADS");
    return result;
}

// korvplus on itemsets and one-item events alike, korvdump on its text.
TEST(ThreadSetting, ProgramsWriteTheSameBytesAtEveryValue) {
    testsupport::ScratchDir dir;
    std::mt19937 random(7);
    std::vector<int32_t> words;
    for (int copy = 0; copy < 4; ++copy) {
        const std::vector<int32_t> part = randomWords(random, copy % 2 == 0);
        words.insert(words.end(), part.begin(), part.end());
    }
    dir.writeFile("db.bin", testsupport::littleEndianBytes(words));
    std::mt19937 textRandom(11);
    dir.writeFile("r.txt", randomText(textRandom, 120));
    dir.writeFile("r.spec", "r.txt 12 120 25 25\n");

    struct Program {
        const char* path;
        std::vector<std::string> args;
        const char* patternFile;
    };
    for (const Program& program : {Program{KORVPLUS_PATH, {"0.05", "db.bin"}, "ClosedPatterns.txt"},
                                   Program{KORVDUMP_PATH, {"r.spec", "0.05"}, "frequent.dat"}}) {
        const testsupport::ProgramResult serial = runWithThreads("1", program.path, program.args, dir.path());
        ASSERT_EQ(serial.exitStatus, 0) << program.path << serial.out << serial.err;
        const std::string patterns = dir.readFile(program.patternFile);
        ASSERT_FALSE(patterns.empty()) << program.path;
        for (const char* threads : {"2", "3", "5", "8", ""}) {
            const testsupport::ProgramResult parallel = runWithThreads(threads, program.path, program.args, dir.path());
            EXPECT_EQ(parallel.exitStatus, 0) << program.path << ' ' << threads;
            EXPECT_EQ(testsupport::maskTime(parallel.out), testsupport::maskTime(serial.out))
                << program.path << ' ' << threads;
            EXPECT_EQ(dir.readFile(program.patternFile), patterns) << program.path << ' ' << threads;
        }
    }
}

// Each program words its own message and exit status; neither reads its input nor creates its
// pattern file.
TEST(ThreadSetting, EachProgramRefusesABadValueBeforeAnythingElse) {
    testsupport::ScratchDir dir;
    dir.writeFile("db.bin", testsupport::littleEndianBytes({1, -1, -2}));
    const testsupport::ProgramResult korvplus = runWithThreads("0", KORVPLUS_PATH, {"0.05", "db.bin"}, dir.path());
    EXPECT_EQ(korvplus.exitStatus, 1);
    EXPECT_EQ(testsupport::splitLines(korvplus.err).size(), 1u);
    EXPECT_NE(korvplus.err.find("KORV_THREADS=\"0\""), std::string::npos);
    EXPECT_EQ(korvplus.out.find("Related Support"), std::string::npos);
    EXPECT_FALSE(dir.exists("ClosedPatterns.txt"));

    const testsupport::ProgramResult korvdump = runWithThreads("two", KORVDUMP_PATH, {"r.spec", "0.05"}, dir.path());
    EXPECT_EQ(korvdump.exitStatus, 255);
    EXPECT_EQ(korvdump.out, "");
    EXPECT_EQ(korvdump.err, "Error: KORV_THREADS=two is not an integer from 1 to 1024\n");
    EXPECT_FALSE(dir.exists("frequent.dat"));
}

}  // namespace
