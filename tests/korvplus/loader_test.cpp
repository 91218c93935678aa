#include <gtest/gtest.h>

#include <span>

#include "binary_loader.h"
#include "search_database.h"
#include "support/database.h"
#include "support/mining.h"

namespace {

using testsupport::LoadedFile;
using testsupport::loadBytes;
using testsupport::loadWords;

TEST(BinaryLoader, WorkedExampleDecodesLittleEndianWordsAndFigures) {
    const std::string bytes = testsupport::littleEndianBytes({1, 2, -1, 3, -1, -2, 2, -1, -2});
    ASSERT_EQ(bytes.size(), 36u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x01\x00\x00\x00", 4));
    EXPECT_EQ(bytes.substr(8, 4), std::string("\xff\xff\xff\xff", 4));
    EXPECT_EQ(bytes.substr(32, 4), std::string("\xfe\xff\xff\xff", 4));

    const LoadedFile loaded = loadBytes(bytes);
    EXPECT_EQ(loaded.figures.largestItemId, 3);
    EXPECT_EQ(loaded.figures.sequenceCount, 2);
    EXPECT_EQ(loaded.figures.maxSequenceItems, 3);
    EXPECT_EQ(loaded.sequenceData, (std::vector<int32_t>{-2, 1, 2, -1, 3, -1, -2, 2, -1, -2}));

    // One to three stray bytes at the end are ignored.
    for (const char* tail : {"\x07", "\x07\x07", "\x07\x07\x07"}) {
        const LoadedFile withTail = loadBytes(bytes + tail);
        EXPECT_EQ(withTail.sequenceData, loaded.sequenceData);
        EXPECT_EQ(withTail.figures.sequenceCount, 2);
    }
}

TEST(BinaryLoader, FiguresOfUnusualFiles) {
    const LoadedFile empty = loadBytes("");
    EXPECT_EQ(empty.figures.largestItemId, -1);
    EXPECT_EQ(empty.figures.sequenceCount, 0);
    EXPECT_EQ(empty.figures.maxSequenceItems, 0);
    EXPECT_EQ(empty.sequenceData, std::vector<int32_t>{-2});

    // Repeats across events count as items; an empty event makes a sequence of 0 items.
    const LoadedFile repeats = loadWords({4, -1, 4, -1, -2, -1, -2});
    EXPECT_EQ(repeats.figures.maxSequenceItems, 2);
    EXPECT_EQ(repeats.figures.sequenceCount, 2);

    // Words after the last -2 are kept and count for the largest id only.
    const LoadedFile tail = loadWords({5, -1});
    EXPECT_EQ(tail.figures.largestItemId, 5);
    EXPECT_EQ(tail.figures.sequenceCount, 0);
    EXPECT_EQ(tail.figures.maxSequenceItems, 0);
    EXPECT_EQ(tail.sequenceData, (std::vector<int32_t>{-2, 5, -1}));

    // Other negative values are stored but are neither items nor markers.
    const LoadedFile stray = loadWords({-7, 3, -9, -1, -2});
    EXPECT_EQ(stray.figures.maxSequenceItems, 1);
    EXPECT_EQ(stray.sequenceData.size(), 6u);

    const LoadedFile huge = loadWords({2147483647, -1, -2});
    EXPECT_EQ(huge.figures.largestItemId, 2147483647);
}

TEST(BinaryLoader, WordsSplitAcrossChunksDecodeTheSame) {
    const std::string bytes = testsupport::littleEndianBytes({10, 300000, -1, 70000, -1, -2, -2});
    for (std::size_t chunk = 1; chunk <= 9; ++chunk) {
        std::vector<int32_t> data{-2};
        korvplus::SequenceWordDecoder decoder(data);
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            const std::size_t n = std::min(chunk, bytes.size() - at);
            decoder.feed(std::span(reinterpret_cast<const unsigned char*>(bytes.data()) + at, n));
        }
        EXPECT_EQ(data, (std::vector<int32_t>{-2, 10, 300000, -1, 70000, -1, -2, -2})) << "chunk " << chunk;
        EXPECT_EQ(decoder.figures().largestItemId, 300000);
        EXPECT_EQ(decoder.figures().sequenceCount, 2);
    }
}

korvplus::SearchDatabase prepare(const std::vector<int32_t>& words) {
    return testsupport::searchDatabaseOf(loadWords(words));
}

TEST(SearchDatabase, SettlesMalformedMarkersOnce) {
    // Values below -2 vanish, a -2 after an item closes the event, empty events and empty
    // sequences vanish, an unterminated tail vanishes.
    const std::vector<int32_t> words{-5, 0, -9, 1, -2, -1, -1, -2, -1, 2, -1, -1, 1, -1, -2, -2, 0, 1, -1};
    const korvplus::SearchDatabase database = prepare(words);
    EXPECT_TRUE(testsupport::keepsSearchDatabaseInvariants(database));
    EXPECT_EQ(database.values, (std::vector<int32_t>{-2, 0, 1, -1, -2, 2, -1, 1, -1, -2}));
    EXPECT_EQ(database.originalIds, (std::vector<int32_t>{0, 1, 2}));

    const korvplus::SearchDatabase nothing = prepare({5, -1});
    EXPECT_EQ(nothing.values, std::vector<int32_t>{-2});
    EXPECT_EQ(nothing.itemCount(), 0);
}

TEST(SearchDatabase, RenumbersItemsDenselyKeepingTheirOrder) {
    // A sparse id range (table would be far larger than the data) and a dense one renumber alike.
    for (const int32_t big : {2147483647, 40}) {
        const korvplus::SearchDatabase database = prepare({big, -1, 7, 3, -1, -2, 3, -1, -2});
        EXPECT_TRUE(testsupport::keepsSearchDatabaseInvariants(database));
        EXPECT_EQ(database.originalIds, (std::vector<int32_t>{3, 7, big}));
        EXPECT_EQ(database.values, (std::vector<int32_t>{-2, 2, -1, 1, 0, -1, -2, 0, -1, -2}));
    }
}

}  // namespace
