// The parallel search against the serial one: random databases mined at several thread counts
// give the same closed sequences in the same order and the same histogram, also when every node
// gives its siblings away and the output waiting for its turn is bounded to almost nothing.
// korvdump's "frequent.dat" and report are the same at every KORV_THREADS; invalid values are
// refused before anything is read or created.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/database.h"
#include "support/mining.h"
#include "support/run_program.h"
#include "token_scanner.h"

namespace {

// Sequences over a small alphabet, long enough that the search tree has deep subtrees.
std::string random_data(std::mt19937& rng, int sequences) {
    // Sometimes no sequence holds an item twice, which the search treats apart.
    const bool distinct = std::uniform_int_distribution<int>(0, 2)(rng) == 0;
    const testsupport::DatabaseShape shape{.minAlphabet = distinct ? 30 : 3, .maxAlphabet = distinct ? 50 : 12,
                                           .minSequences = sequences, .maxSequences = sequences, .maxEvents = 25,
                                           .distinctItems = distinct};
    return testsupport::tokenText(testsupport::randomItemSequences(rng, shape));
}

TEST(parallel_search, finds_what_the_serial_search_finds_in_the_same_order) {
    std::mt19937 rng(6);
    for (int round = 0; round < 30; ++round) {
        const int sequences = std::uniform_int_distribution<int>(5, 60)(rng);
        const std::string text = random_data(rng, sequences);
        const auto abs_support = std::uniform_int_distribution<std::int32_t>(2, 2 + sequences / 4)(rng);
        korv::token_scanner scanner(text);
        korv::sequence_db db;
        ASSERT_EQ(korv::load_sequences(scanner, sequences, abs_support, db), korv::load_status::ok);

        const testsupport::Mined serial = testsupport::mineKorv(db, abs_support);
        for (const int threads : {2, 3, 8}) {
            EXPECT_EQ(testsupport::mineKorv(db, abs_support, {.threads = threads}), serial)
                << threads << " threads, support " << abs_support << ", data:\n" << text;
            EXPECT_EQ(testsupport::mineKorv(db, abs_support, {.threads = threads, .stress = true}), serial)
                << threads << " threads splitting at every node, support " << abs_support
                << ", data:\n" << text;
        }
    }
}

testsupport::ProgramResult run_with_threads(const char* threads, const testsupport::ScratchDir& dir) {
    ::setenv("KORV_THREADS", threads, 1);
    testsupport::ProgramResult run = testsupport::runProgram(KORVDUMP_PATH, {"r.spec", "0.05"}, dir.path());
    ::unsetenv("KORV_THREADS");
    return run;
}

TEST(parallel_search, korvdump_output_is_the_same_at_every_thread_count) {
    std::mt19937 rng(11);
    testsupport::ScratchDir dir;
    dir.writeFile("r.txt", random_data(rng, 120));
    dir.writeFile("r.spec", "r.txt 12 120 25 25\n");
    const testsupport::ProgramResult serial = run_with_threads("1", dir);
    ASSERT_EQ(serial.exitStatus, 0) << serial.out;
    const std::string patterns = dir.readFile("frequent.dat");
    ASSERT_FALSE(patterns.empty());
    for (const char* threads : {"2", "3", "8", ""}) {
        const testsupport::ProgramResult run = run_with_threads(threads, dir);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(testsupport::maskTime(run.out), testsupport::maskTime(serial.out)) << threads;
        EXPECT_EQ(dir.readFile("frequent.dat"), patterns) << threads;
    }
}

TEST(parallel_search, invalid_thread_counts_are_refused_before_anything_is_read) {
    testsupport::ScratchDir dir;
    for (const char* value : {"0", "1025", "-2", "two", "3x", " 4", "99999999999"}) {
        const testsupport::ProgramResult run = run_with_threads(value, dir);
        EXPECT_EQ(run.exitStatus, 255) << value;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "Error: KORV_THREADS=" + std::string(value) + " is not an integer from 1 to 1024\n");
        EXPECT_FALSE(dir.exists("frequent.dat"));
    }
}

}  // namespace
