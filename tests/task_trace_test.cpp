// KORV_TRACE in both programs: a serial run writes the trace and the same files and report as
// without it, a threaded run leaves the trace at its first line, the replay script reads the
// trace and replays a small tree as the splitting rule does, and a trace that cannot be created
// stops the run before anything is read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/database.h"
#include "support/run_program.h"

namespace {

testsupport::ProgramResult runWith(const char* threads, const char* trace, const char* program,
                                   const std::vector<std::string>& args, const std::string& dir) {
    ::setenv("KORV_THREADS", threads, 1);
    if (trace != nullptr) ::setenv("KORV_TRACE", trace, 1);
    testsupport::ProgramResult result = testsupport::runProgram(program, args, dir);
    ::unsetenv("KORV_TRACE");
    ::unsetenv("KORV_THREADS");
    return result;
}

struct Program {
    const char* path;
    std::vector<std::string> args;
    const char* patternFile;
};

// Itemsets for korvplus, single items for korvdump; long sequences over few items, so that the
// search tree is several levels deep.
std::vector<Program> programsOnRandomData(const testsupport::ScratchDir& dir) {
    std::mt19937 random(20261210);
    testsupport::DatabaseShape shape{.minAlphabet = 6, .maxAlphabet = 6, .minSequences = 60, .maxSequences = 60,
                                     .maxEvents = 14, .maxItemsPerEvent = 3};
    const testsupport::Database itemsets = testsupport::randomDatabase(random, shape);
    dir.writeFile("db.bin", testsupport::littleEndianBytes(testsupport::toWords(itemsets)));
    shape.maxItemsPerEvent = 1;
    dir.writeFile("r.txt", testsupport::tokenText(testsupport::randomItemSequences(random, shape)));
    dir.writeFile("r.spec", "r.txt 6 60 14 14\n");
    return {Program{KORVPLUS_PATH, {"0.1", "db.bin"}, "ClosedPatterns.txt"},
            Program{KORVDUMP_PATH, {"r.spec", "0.1"}, "frequent.dat"}};
}

TEST(TaskTrace, LeavesFilesAndReportAsTheyAreAndReplays) {
    testsupport::ScratchDir dir;
    for (const Program& program : programsOnRandomData(dir)) {
        const testsupport::ProgramResult plain = runWith("1", nullptr, program.path, program.args, dir.path());
        ASSERT_EQ(plain.exitStatus, 0) << program.path << plain.out << plain.err;
        const std::string patterns = dir.readFile(program.patternFile);
        ASSERT_FALSE(patterns.empty()) << program.path;

        for (const char* threads : {"1", "2"}) {
            const testsupport::ProgramResult traced =
                runWith(threads, "t.trace", program.path, program.args, dir.path());
            EXPECT_EQ(traced.exitStatus, 0) << program.path << ' ' << threads;
            EXPECT_EQ(traced.err, "") << program.path << ' ' << threads;
            EXPECT_EQ(testsupport::maskTime(traced.out), testsupport::maskTime(plain.out))
                << program.path << ' ' << threads;
            EXPECT_EQ(dir.readFile(program.patternFile), patterns) << program.path << ' ' << threads;
        }
        // The threaded run has just left the first line alone.
        EXPECT_EQ(dir.readFile("t.trace"), "korv-trace 1\n") << program.path;

        runWith("1", "t.trace", program.path, program.args, dir.path());
        const std::vector<std::string> lines = testsupport::splitLines(dir.readFile("t.trace"));
        // The first line, the single items (in one run when all are cheap) and the five totals.
        ASSERT_GE(lines.size(), 7u) << program.path;
        EXPECT_EQ(lines.front(), "korv-trace 1");
        EXPECT_EQ(lines[1].substr(0, 2), "0 ") << program.path << ": the first single item";
        EXPECT_EQ(lines[lines.size() - 4].substr(0, 7), "search ") << program.path;
        EXPECT_EQ(lines.back().substr(0, 6), "split ") << program.path;
        if (std::string(PYTHON3_PATH).empty()) continue;
        const testsupport::ProgramResult replay =
            testsupport::runProgram(PYTHON3_PATH, {REPLAY_SCRIPT, "t.trace", "--ranks", "4"}, dir.path());
        EXPECT_EQ(replay.exitStatus, 0) << program.path << replay.out << replay.err;
        EXPECT_NE(replay.out.find("\n| 4 | "), std::string::npos) << replay.out;
    }
}

// A tree small enough to replay by hand: root 1 s; item A (own 1 s) with children B and C (2 s
// each), then item D (3 s); 9 s serially. On 2 ranks, A's rank hands D over and does A, B and C
// (6 s). On 4 ranks it hands D over, then C once A is done: B and C end at 4 s, as the chain
// root, A, B allows. Children B and C as a run of two give the same.
TEST(TaskTrace, ReplayFollowsTheSplittingRule) {
    if (std::string(PYTHON3_PATH).empty()) GTEST_SKIP() << "no python3";
    testsupport::ScratchDir dir;
    const std::string totals = "root 1000000000\nsearch 8000000000 4\nwrite 0 0 0\nend 0\nsplit 1000000 20000\n";
    for (const std::string children : {"1 1 2000000000 2000000000 0 0\n1 1 2000000000 2000000000 0 0\n",
                                       "1 2 4000000000 4000000000 0 0\n"}) {
        dir.writeFile("hand.trace", "korv-trace 1\n0 1 1000000000 5000000000 0 0\n" + children +
                                        "0 1 3000000000 3000000000 0 0\n" + totals);
        const testsupport::ProgramResult replay =
            testsupport::runProgram(PYTHON3_PATH, {REPLAY_SCRIPT, "hand.trace", "--ranks", "2,4"}, dir.path());
        ASSERT_EQ(replay.exitStatus, 0) << replay.err;
        for (const char* row : {"\n| 2 | 6.000 | 1.5 | 75 % | 6.000 | 1.000 | 2 | 2 | 9 | rule |\n",
                                "\n| 4 | 4.000 | 2.2 | 56 % | 4.000 | 1.000 | 3 | 2 | 9 | task |\n"})
            EXPECT_NE(replay.out.find(row), std::string::npos) << row << replay.out;
    }
}

// Each program words the failure as it does for its other files, with its own status.
TEST(TaskTrace, AFileThatCannotBeCreatedStopsTheRunBeforeReading) {
    testsupport::ScratchDir dir;
    dir.writeFile("db.bin", testsupport::littleEndianBytes({1, -1, -2}));
    const testsupport::ProgramResult korvplus =
        runWith("1", "no/t.trace", KORVPLUS_PATH, {"0.05", "db.bin"}, dir.path());
    EXPECT_EQ(korvplus.exitStatus, 1);
    EXPECT_EQ(korvplus.err, "korvplus: no/t.trace: cannot create: No such file or directory\n");
    EXPECT_EQ(korvplus.out.find("Related Support"), std::string::npos);
    EXPECT_FALSE(dir.exists("ClosedPatterns.txt"));

    const testsupport::ProgramResult korvdump =
        runWith("1", "no/t.trace", KORVDUMP_PATH, {"r.spec", "0.05"}, dir.path());
    EXPECT_EQ(korvdump.exitStatus, 255);
    EXPECT_EQ(korvdump.out, "Error: cannot open file no/t.trace with mode w!\n");
    EXPECT_FALSE(dir.exists("frequent.dat"));
}

}  // namespace
