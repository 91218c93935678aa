// End-to-end: the built korvplus program in a scratch directory, every console line, the exit
// status and the bytes of "ClosedPatterns.txt".
#include <gtest/gtest.h>

#include <unistd.h>

#include "support/database.h"
#include "support/run_program.h"

namespace {

using testsupport::runProgram;
using testsupport::ScratchDir;
using Lines = std::vector<std::string>;

const Lines kBanner{"KORV+", "Closed sequential pattern mining over sequences of itemsets", ""};

// Console lines with the search time masked.
Lines maskedLines(const std::string& out) { return testsupport::splitLines(testsupport::maskTime(out)); }

Lines withBanner(const Lines& lines) {
    Lines all = kBanner;
    all.insert(all.end(), lines.begin(), lines.end());
    return all;
}

// (1 2)(3), (1 2)(3)(1), (1)(3)
const std::vector<int32_t> kExample{1, 2, -1, 3, -1, -2, 1, 2, -1, 3, -1, 1, -1, -2, 1, -1, 3, -1, -2};

TEST(KorvplusProgram, UsageTextLeavesEverythingAlone) {
    ScratchDir dir;
    dir.writeFile("ClosedPatterns.txt", "keep");
    const Lines usage = withBanner({"usage:", "korvplus relative_support input_data_file_name",
                                    "the input data file is encoded in binray, every event is ended in -1, and "
                                    "every sequences is ended in -2.",
                                    ""});
    for (const Lines& args : {Lines{}, Lines{"0.5"}, Lines{"0.5", "a.bin", "extra"}}) {
        const auto result = runProgram(KORVPLUS_PATH, args, dir.path());
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(testsupport::splitLines(result.out), usage);
        EXPECT_EQ(result.err, "");
    }
    EXPECT_EQ(dir.readFile("ClosedPatterns.txt"), "keep");
}

TEST(KorvplusProgram, MinesTheWorkedExample) {
    ScratchDir dir;
    dir.writeFile("db.bin", testsupport::littleEndianBytes(kExample));
    const auto result = runProgram(KORVPLUS_PATH, {"0.67", "db.bin"}, dir.path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(maskedLines(result.out),
              withBanner({"Related Support: 0.67", "Absoluted Support: 2", "Items Count: 4", "Sequence Count: 3",
                          "Total Closed Pattens: 2", "KORV Time:#", "Results Length:", "2    1", "3    1"}));
    EXPECT_EQ(dir.readFile("ClosedPatterns.txt"), " 1 ||  3 || \n 1 2 ||  3 || \n");

    // Letters give a relative support of 0, which mines like an absolute support of 1.
    const auto letters = runProgram(KORVPLUS_PATH, {"abc", "db.bin"}, dir.path());
    EXPECT_EQ(letters.exitStatus, 0);
    const Lines lines = maskedLines(letters.out);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[3], "Related Support: 0");
    EXPECT_EQ(lines[4], "Absoluted Support: 0");
    EXPECT_EQ(dir.readFile("ClosedPatterns.txt"), " 1 ||  3 || \n 1 2 ||  3 || \n 1 2 ||  3 ||  1 || \n");
}

TEST(KorvplusProgram, InputFiguresAsTyped) {
    ScratchDir dir;
    std::vector<int32_t> seven;
    for (int s = 0; s < 7; ++s) seven.insert(seven.end(), {9, -1, -2});
    dir.writeFile("seven.bin", testsupport::littleEndianBytes(seven));
    const std::vector<std::pair<std::string, std::string>> cases{
        {"0.5", "3"}, {"1", "7"}, {"-0.5", "-3"}, {"0.333333333", "2"}, {"1e-5", "0"}};
    for (const auto& [relative, absolute] : cases) {
        const auto result = runProgram(KORVPLUS_PATH, {relative, "seven.bin"}, dir.path());
        EXPECT_EQ(result.exitStatus, 0);
        const Lines lines = testsupport::splitLines(result.out);
        ASSERT_GE(lines.size(), 7u);
        EXPECT_EQ(lines[4], "Absoluted Support: " + absolute) << relative;
        EXPECT_EQ(lines[5], "Items Count: 10");
        EXPECT_EQ(lines[6], "Sequence Count: 7");
    }
    const auto third = runProgram(KORVPLUS_PATH, {"0.333333333", "seven.bin"}, dir.path());
    EXPECT_EQ(testsupport::splitLines(third.out)[3], "Related Support: 0.333333");
    EXPECT_EQ(dir.readFile("ClosedPatterns.txt"), " 9 || \n");
}

TEST(KorvplusProgram, UnreadableInputReportsFailure) {
    ScratchDir dir;
    ASSERT_EQ(::mkdir(dir.file("adir").c_str(), 0700), 0);
    for (const std::string input : {"missing.bin", "adir"}) {
        dir.writeFile("ClosedPatterns.txt", "old content");
        const auto result = runProgram(KORVPLUS_PATH, {"0.5", input}, dir.path());
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(maskedLines(result.out),
                  withBanner({"Related Support: 0.5", "Absoluted Support: 0", "Items Count: 0", "Sequence Count: 0",
                              "Total Closed Pattens: 0", "KORV Time:#", "Results Length:"}));
        EXPECT_EQ(testsupport::splitLines(result.err).size(), 1u) << result.err;
        EXPECT_NE(result.err.find(input), std::string::npos) << result.err;
        EXPECT_TRUE(dir.exists("ClosedPatterns.txt"));
        EXPECT_EQ(dir.readFile("ClosedPatterns.txt"), "");
    }
}

TEST(KorvplusProgram, UnwritablePatternFileReportsFailure) {
    ScratchDir dir;
    dir.writeFile("db.bin", testsupport::littleEndianBytes(kExample));
    ASSERT_EQ(::mkdir(dir.file("ClosedPatterns.txt").c_str(), 0700), 0);
    const auto blocked = runProgram(KORVPLUS_PATH, {"0.67", "db.bin"}, dir.path());
    EXPECT_EQ(blocked.exitStatus, 1);
    EXPECT_EQ(maskedLines(blocked.out).back(), "3    1");  // the report runs as usual
    EXPECT_EQ(testsupport::splitLines(blocked.err).size(), 1u) << blocked.err;
    EXPECT_NE(blocked.err.find("ClosedPatterns.txt"), std::string::npos);

    ScratchDir full;
    full.writeFile("db.bin", testsupport::littleEndianBytes(kExample));
    ASSERT_EQ(::symlink("/dev/full", full.file("ClosedPatterns.txt").c_str()), 0);
    const auto diskFull = runProgram(KORVPLUS_PATH, {"0.67", "db.bin"}, full.path());
    EXPECT_EQ(diskFull.exitStatus, 1);
    EXPECT_EQ(maskedLines(diskFull.out).back(), "3    1");
    EXPECT_EQ(testsupport::splitLines(diskFull.err).size(), 1u) << diskFull.err;
}

TEST(KorvplusProgram, MalformedFilesMineWhatIsWellFormed) {
    ScratchDir dir;
    // Stray values, a -2 straight after an item, a largest id of 2147483647, and an unterminated
    // final sequence, plus two stray bytes.
    dir.writeFile("odd.bin", testsupport::littleEndianBytes({-7, 5, 2147483647, -2, 5, -1, 2147483647, -1, -2, 5, 6, -1}) + "xy");
    const auto result = runProgram(KORVPLUS_PATH, {"1", "odd.bin"}, dir.path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(maskedLines(result.out),
              withBanner({"Related Support: 1", "Absoluted Support: 2", "Items Count: 2147483648", "Sequence Count: 2",
                          "Total Closed Pattens: 2", "KORV Time:#", "Results Length:", "1    2"}));
    EXPECT_EQ(dir.readFile("ClosedPatterns.txt"), " 5 || \n 2147483647 || \n");
}

TEST(KorvplusProgram, MemoryExhaustionEndsWithAMessage) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the address space limit does not apply to a sanitizer build";
#else
    ScratchDir dir;
    // One sequence of 6 million events: about 24 MB to load and as much again to mine.
    const std::string event = testsupport::littleEndianBytes({1, -1});
    std::string bytes;
    bytes.reserve(event.size() * 6000000 + 4);
    for (int i = 0; i < 6000000; ++i) bytes += event;
    bytes += testsupport::littleEndianBytes({-2});
    dir.writeFile("big.bin", bytes);
    const auto result = runProgram("/bin/sh", {"-c", "ulimit -v 60000 && exec \"$0\" 1 big.bin", KORVPLUS_PATH},
                                   dir.path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, "korvplus: out of memory\n");
#endif
}

}  // namespace
