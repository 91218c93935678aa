// The MPI programs against the plain ones, run through mpirun: at 1, 2 and 3 ranks and 1 and 2
// threads per rank, also with work handed over at every node and one byte of waiting output
// (KORV_MPI_STRESS), the pattern file and the report are the plain program's, for korvplus,
// korvdump and korv; a bad input or
// setting is reported once; a rank lost part way, or rank 0 out of memory, ends the job with a
// failure and a file of whole lines that begins the complete one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/database.h"
#include "support/run_program.h"

namespace {

struct Program {
    const char* plain;
    const char* mpi;
    std::vector<std::string> args;
    const char* patternFile;
};

// Sets the variables of one run and clears them afterwards; Open MPI's permission to run as root
// is for the tests only.
class Environment {
public:
    Environment(const char* threads, bool stress) {
        ::setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 1);
        ::setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 1);
        ::setenv("KORV_THREADS", threads, 1);
        if (stress) ::setenv("KORV_MPI_STRESS", "1", 1);
    }
    ~Environment() {
        for (const char* name : {"KORV_THREADS", "KORV_MPI_STRESS", "KORV_MPI_TEST_KILL"}) ::unsetenv(name);
    }
};

testsupport::ProgramResult runMpi(int ranks, const std::string& program, std::vector<std::string> args,
                                  const std::string& dir) {
    std::vector<std::string> command = {"--oversubscribe", "--bind-to", "none", "-np", std::to_string(ranks), program};
    command.insert(command.end(), args.begin(), args.end());
    return testsupport::runProgram(MPIEXEC_PATH, command, dir);
}

// Sequences long enough for subtrees worth handing over, over a small alphabet.
std::string randomBinary(unsigned seed, int maxItemsPerEvent) {
    std::mt19937 random(seed);
    std::vector<int32_t> words;
    for (int part = 0; part < 4; ++part) {
        const testsupport::DatabaseShape shape{.minAlphabet = 4, .maxAlphabet = 10, .minSequences = 10,
                                               .maxSequences = 25, .maxEvents = 12,
                                               .maxItemsPerEvent = maxItemsPerEvent};
        const std::vector<int32_t> partWords = testsupport::toWords(testsupport::randomDatabase(random, shape));
        words.insert(words.end(), partWords.begin(), partWords.end());
    }
    return testsupport::littleEndianBytes(words);
}

// Every rank and thread count, with stress everywhere and once without, gives the plain bytes.
void expectPlainOutput(const Program& program, const testsupport::ScratchDir& dir) {
    testsupport::ProgramResult plain;
    {
        const Environment environment("1", false);
        plain = testsupport::runProgram(program.plain, program.args, dir.path());
    }
    ASSERT_EQ(plain.exitStatus, 0) << plain.out << plain.err;
    const std::string patterns = dir.readFile(program.patternFile);
    ASSERT_FALSE(patterns.empty());
    struct Setting {
        int ranks;
        const char* threads;
        bool stress;
    };
    for (const Setting setting : {Setting{1, "1", true}, Setting{1, "2", true}, Setting{2, "1", true},
                                  Setting{2, "2", true}, Setting{3, "1", true}, Setting{3, "2", true},
                                  Setting{3, "1", false}}) {
        SCOPED_TRACE(testing::Message() << program.mpi << ", " << setting.ranks << " ranks, " << setting.threads
                                        << " threads, stress " << setting.stress);
        std::remove(dir.file(program.patternFile).c_str());
        const Environment environment(setting.threads, setting.stress);
        const testsupport::ProgramResult result = runMpi(setting.ranks, program.mpi, program.args, dir.path());
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(testsupport::maskTime(result.out), testsupport::maskTime(plain.out));
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(dir.readFile(program.patternFile), patterns);
    }
}

TEST(KorvplusMpi, WritesWhatKorvplusWritesOnItemsets) {
    testsupport::ScratchDir dir;
    dir.writeFile("db.bin", randomBinary(16, 3));
    expectPlainOutput({KORVPLUS_PATH, KORVPLUS_MPI_PATH, {"0.04", "db.bin"}, "ClosedPatterns.txt"}, dir);
}

TEST(KorvplusMpi, WritesWhatKorvplusWritesOnOneItemEvents) {
    testsupport::ScratchDir dir;
    dir.writeFile("db.bin", randomBinary(61, 1));
    expectPlainOutput({KORVPLUS_PATH, KORVPLUS_MPI_PATH, {"0.03", "db.bin"}, "ClosedPatterns.txt"}, dir);
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// korv's data text and its spec file: 60 sequences of up to 20 items over 12 letters.
void writeKorvData(const testsupport::ScratchDir& dir, unsigned seed) {
    std::mt19937 random(seed);
    const testsupport::DatabaseShape shape{.minAlphabet = 4, .maxAlphabet = 12, .minSequences = 60,
                                           .maxSequences = 60, .maxEvents = 20};
    dir.writeFile("r.txt", testsupport::tokenText(testsupport::randomItemSequences(random, shape)));
    dir.writeFile("r.spec", "r.txt 12 60 20 20\n");
}

TEST(KorvdumpMpi, WritesWhatKorvdumpWrites) {
    testsupport::ScratchDir dir;
    writeKorvData(dir, 5);
    expectPlainOutput({KORVDUMP_PATH, KORVDUMP_MPI_PATH, {"r.spec", "0.05"}, "frequent.dat"}, dir);
}

// korv-mpi reports like korv and leaves "frequent.dat" empty; a data file it cannot read is
// reported once.
TEST(KorvMpi, ReportsWhatKorvReports) {
    testsupport::ScratchDir dir;
    writeKorvData(dir, 8);
    testsupport::ProgramResult plain;
    {
        const Environment environment("1", false);
        plain = testsupport::runProgram(KORV_PATH, {"r.spec", "0.05"}, dir.path());
    }
    ASSERT_EQ(plain.exitStatus, 0);
    const Environment environment("1", true);
    const testsupport::ProgramResult result = runMpi(3, KORV_MPI_PATH, {"r.spec", "0.05"}, dir.path());
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(testsupport::maskTime(result.out), testsupport::maskTime(plain.out));
    EXPECT_EQ(dir.readFile("frequent.dat"), "");

    dir.writeFile("bad.spec", "none.txt 12 120 25 25\n");
    const testsupport::ProgramResult bad = runMpi(2, KORV_MPI_PATH, {"bad.spec", "0.05"}, dir.path());
    EXPECT_EQ(bad.exitStatus, 255);
    EXPECT_EQ(occurrences(bad.out + bad.err, "none.txt"), 1u) << bad.out << bad.err;
}


// The message comes once, from rank 0, with the plain program's status; no rank mines.
TEST(KorvplusMpi, ReportsABadInputOrSettingOnce) {
    testsupport::ScratchDir dir;
    {
        const Environment environment("1", false);
        const testsupport::ProgramResult missing = runMpi(3, KORVPLUS_MPI_PATH, {"0.5", "none.bin"}, dir.path());
        EXPECT_EQ(missing.exitStatus, 1);
        EXPECT_EQ(occurrences(missing.out + missing.err, "none.bin"), 1u) << missing.err;
        EXPECT_NE(missing.out.find("Total Closed Pattens: 0"), std::string::npos);
    }
    std::remove(dir.file("ClosedPatterns.txt").c_str());
    {
        const Environment environment("0", false);
        const testsupport::ProgramResult threads = runMpi(2, KORVPLUS_MPI_PATH, {"0.5", "none.bin"}, dir.path());
        EXPECT_EQ(threads.exitStatus, 1);
        EXPECT_EQ(occurrences(threads.out + threads.err, "KORV_THREADS=\"0\""), 1u) << threads.err;
        EXPECT_FALSE(dir.exists("ClosedPatterns.txt"));
    }
}

// Rank 1 dies at its third task; the job fails, and the file is whole lines that begin the
// complete result.
TEST(KorvplusMpi, ALostRankFailsTheJobAndLeavesAPrefix) {
    testsupport::ScratchDir dir;
    dir.writeFile("db.bin", randomBinary(16, 3));
    testsupport::ProgramResult plain;
    {
        const Environment environment("1", false);
        plain = testsupport::runProgram(KORVPLUS_PATH, {"0.04", "db.bin"}, dir.path());
    }
    const std::string complete = dir.readFile("ClosedPatterns.txt");
    const Environment environment("1", true);
    // Rank 1 is killed; rank 0 runs out of memory, and says so once, naming itself.
    for (const char* failing : {"1:3", "0:3"}) {
        SCOPED_TRACE(failing);
        ::setenv("KORV_MPI_TEST_KILL", failing, 1);
        const testsupport::ProgramResult killed = runMpi(2, KORVPLUS_MPI_PATH, {"0.04", "db.bin"}, dir.path());
        EXPECT_NE(killed.exitStatus, 0);
        EXPECT_EQ(killed.out.find("Total Closed Pattens"), std::string::npos);
        if (failing[0] == '0') {
            EXPECT_EQ(occurrences(killed.err, "korvplus-mpi: rank 0: out of memory"), 1u) << killed.err;
        }
        const std::string prefix = dir.readFile("ClosedPatterns.txt");
        EXPECT_LT(prefix.size(), complete.size());
        EXPECT_TRUE(prefix.empty() || prefix.back() == '\n');
        EXPECT_EQ(complete.compare(0, prefix.size(), prefix), 0);
    }
}

}  // namespace
