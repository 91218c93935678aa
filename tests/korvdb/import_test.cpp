// Event logs to databases: quoting, the order of keys, times and names, and records that cross
// the reader's block boundaries.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "event_import.h"

namespace {

korvdatabase::ImportResult importText(const std::string& log, korvdatabase::ImportOptions options = {}) {
    std::istringstream in(log);
    korvdatabase::ImportResult result;
    EXPECT_EQ(korvdatabase::importEventLog(in, "log.csv", options, result), "");
    return result;
}

TEST(Import, QuotingEqualTimesRepeatsAndRowOrder) {
    // Unsorted rows; key b at time 10 is one event with a repeated item; quoted fields with a
    // comma, doubled quotes and a line break (in a key); CRLF and LF line ends; an empty line.
    const std::string log =
        "key,when,what\r\n"
        "b,10,\"x, y\"\r\n"
        "a,2,plain\n"
        "b,9,\"say \"\"hi\"\"\"\n"
        "\n"
        "b,10,plain\n"
        "\"a\nz\",1,\"x, y\"\n"
        "b,10,\"x, y\"\n"
        "a,1,zed";
    const korvdatabase::ImportResult result = importText(log);
    EXPECT_EQ(result.itemNames, (std::vector<std::string>{"plain", "say \"hi\"", "x, y", "zed"}));
    // Keys in byte order: "a", "a\nz", "b"; events by numeric time.
    EXPECT_EQ(result.db.words, (std::vector<int32_t>{3, -1, 0, -1, -2, 2, -1, -2, 1, -1, 0, 2, -1, -2}));
    EXPECT_EQ(result.db.sequenceStart, (std::vector<uint32_t>{0, 5, 8, 14}));
    EXPECT_EQ(result.figures.rows, 7);
    EXPECT_EQ(result.figures.sequences, 3);
    EXPECT_EQ(result.figures.events, 5);
    EXPECT_EQ(result.figures.distinctItems, 4);
    EXPECT_EQ(result.figures.longestSequence, 3);
}

TEST(Import, TimesAreNumbersOnlyWhenAllAreAndColumnsGoByNameOrNumber) {
    korvdatabase::ImportOptions byName;
    byName.sequenceColumn = "user";
    byName.timeColumn = "ts";
    byName.itemColumn = "item";
    // 9 before 10 numerically ...
    EXPECT_EQ(importText("item,user,ts\np,u,10\nq,u,9\n", byName).db.words, (std::vector<int32_t>{1, -1, 0, -1, -2}));
    // ... but "10" before "9" once one time is not a number; ISO stamps sort as text.
    EXPECT_EQ(importText("item,user,ts\np,u,10\nq,u,9\nr,v,2024-01-01T10:00\n", byName).db.words,
              (std::vector<int32_t>{0, -1, 1, -1, -2, 2, -1, -2}));
    // A delimiter as the last byte of the log ends the row with an empty field.
    EXPECT_EQ(importText("k,t,i\na,1,x,").db.words, (std::vector<int32_t>{0, -1, -2}));
    korvdatabase::ImportOptions tsv;
    tsv.header = false;
    tsv.delimiter = '\t';
    tsv.sequenceColumn = "3";
    tsv.timeColumn = "1";
    tsv.itemColumn = "2";
    EXPECT_EQ(importText("2\tb\ts\n1\ta\ts\n1.5\t\"c,\"\ts\n", tsv).db.words,
              (std::vector<int32_t>{0, -1, 2, -1, 1, -1, -2}));
}

TEST(Import, RecordsCrossingBlockBoundaries) {
    // Blocks of 5 bytes: every record crosses boundaries, and a quoted field much longer than a
    // block stands in the middle.
    std::string log = "k,t,i\n";
    const int rows = 3000;
    for (int row = 0; row < rows; ++row) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on chained string additions.
        log.append("k").append(std::to_string(row % 1000)).append(",").append(std::to_string(row));
        log.append(",\"n, ").append(std::to_string(row % 7)).append("\"\n");
        if (row == 1500) log.append("long,1,\"").append(5000, 'x').append("\"\n");
    }
    korvdatabase::ImportOptions options;
    options.readBlockBytes = 5;
    const korvdatabase::ImportResult result = importText(log, options);
    EXPECT_EQ(result.figures.rows, rows + 1);
    EXPECT_EQ(result.figures.sequences, 1001);
    EXPECT_EQ(result.db.words, importText(log).db.words);
    EXPECT_EQ(result.figures.distinctItems, 8);
    EXPECT_EQ(result.itemNames[0], "n, 0");
    EXPECT_EQ(result.itemNames[7].size(), 5000u);
}

}  // namespace
