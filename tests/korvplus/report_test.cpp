#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "pattern_file.h"
#include "run_driver.h"
#include "support/run_program.h"

namespace {

using korvplus::formatGeneral;

TEST(ConsoleFormat, GeneralFormatLikeTheStreamDefault) {
    EXPECT_EQ(formatGeneral(0.333333333, 6), "0.333333");
    EXPECT_EQ(formatGeneral(0.5, 6), "0.5");
    EXPECT_EQ(formatGeneral(0.00001, 6), "1e-05");
    EXPECT_EQ(formatGeneral(-0.5, 6), "-0.5");
    EXPECT_EQ(formatGeneral(1234 * 0.001, 5), "1.234");
    EXPECT_EQ(formatGeneral(123456 * 0.001, 5), "123.46");
    EXPECT_EQ(formatGeneral(0 * 0.001, 5), "0");
}

TEST(ConsoleFormat, ClosingReportListsNonEmptyLengthsOnly) {
    std::ostringstream out;
    korvplus::printClosingReport(out, 5, 1234, {3, 0, 2});
    EXPECT_EQ(out.str(), "Total Closed Pattens: 5\nKORV Time:1.234\nResults Length:\n1    3\n3    2\n");

    std::ostringstream empty;
    korvplus::printClosingReport(empty, 0, 0, {});
    EXPECT_EQ(empty.str(), "Total Closed Pattens: 0\nKORV Time:0\nResults Length:\n");
}

std::string line(const std::vector<int32_t>& pattern) {
    std::string text;
    korvplus::appendPatternLine(text, pattern);
    return text;
}

TEST(PatternFile, LineFormat) {
    EXPECT_EQ(line({1, 2, -1, 3, -1}), " 1 2 ||  3 || \n");
    EXPECT_EQ(line({7, -1}), " 7 || \n");
    EXPECT_EQ(line({4, -1, 4, -1}), " 4 ||  4 || \n");
    EXPECT_EQ(line({2, 5, 9, -1}), " 2 5 9 || \n");
    EXPECT_EQ(line({10, 11, -1}), " 10 11 || \n");
    EXPECT_EQ(line({2147483647, -1}), " 2147483647 || \n");
}

TEST(PatternFile, WritesFlushedLinesAndReportsFailures) {
    testsupport::ScratchDir dir;
    korvplus::PatternFile file;
    ASSERT_TRUE(file.open(dir.file("out.txt")));
    file.writePattern(std::vector<int32_t>{1, -1});
    EXPECT_EQ(dir.readFile("out.txt"), " 1 || \n");  // flushed before close
    file.writePattern(std::vector<int32_t>{1, 2, -1});
    EXPECT_TRUE(file.close());
    EXPECT_EQ(dir.readFile("out.txt"), " 1 || \n 1 2 || \n");

    korvplus::PatternFile missingDir;
    EXPECT_FALSE(missingDir.open(dir.file("no/such/dir.txt")));
    missingDir.writePattern(std::vector<int32_t>{1, -1});
    EXPECT_FALSE(missingDir.close());
    EXPECT_NE(missingDir.error().find("cannot create"), std::string::npos);

    korvplus::PatternFile full;
    if (full.open("/dev/full")) {
        full.writePattern(std::vector<int32_t>{1, -1});
        EXPECT_FALSE(full.close());
        EXPECT_NE(full.error().find("/dev/full: cannot write"), std::string::npos);
    }
}

}  // namespace
