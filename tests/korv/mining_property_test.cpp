// The miner against the brute-force oracle on thousands of small random databases, and the
// search on inputs whose shape stresses it (long patterns, many items).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/closed_oracle.h"
#include "support/database.h"
#include "support/mining.h"
#include "support/run_program.h"

namespace {

using item_list = std::vector<std::int32_t>;

struct random_case {
    std::vector<item_list> sequences;
    std::string text;  // the data file, with skipped tokens and varied spacing
    int abs_support = 1;
};

// Item ids are sometimes 0.., sometimes sparse and huge, to cover any id the data may use; and
// sometimes no sequence holds an item twice, which the search treats apart.
random_case make_case(std::mt19937& rng) {
    const bool sparse = std::uniform_int_distribution<int>(0, 3)(rng) == 0;
    const bool distinct = std::uniform_int_distribution<int>(0, 2)(rng) == 0;
    const testsupport::DatabaseShape shape{.minSequences = 2,
                                           .distinctItems = distinct,
                                           .ids = sparse ? testsupport::IdSpread::sparse : testsupport::IdSpread::dense};
    random_case result;
    result.sequences = testsupport::randomItemSequences(rng, shape);
    result.text = testsupport::tokenText(result.sequences, &rng);
    result.abs_support = std::uniform_int_distribution<int>(1, static_cast<int>(result.sequences.size()))(rng);
    return result;
}

TEST(mine_closed, equals_the_closed_sequences_by_definition) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 3000; ++round) {
        const random_case input = make_case(rng);
        const auto count = static_cast<std::int32_t>(input.sequences.size());
        const auto expected = testsupport::inKeyOrder(testsupport::closedItemSequences(input.sequences, input.abs_support));
        ASSERT_EQ(testsupport::mineKorv(input.text, count, input.abs_support).found, expected)
            << "round " << round << ", absolute support " << input.abs_support << ", data:\n"
            << input.text;
    }
}

TEST(mine_closed, korvdump_writes_the_closed_sequences_by_definition) {
    std::mt19937 rng(77);
    testsupport::ScratchDir dir;
    for (int round = 0; round < 25; ++round) {
        const random_case input = make_case(rng);
        const auto count = input.sequences.size();
        dir.writeFile("r.txt", input.text);
        dir.writeFile("r.spec", "r.txt 5 " + std::to_string(count) + " 7 7\n");
        // count * (abs / count) + 0.5 truncates back to abs.
        const std::string relative =
            std::to_string(static_cast<double>(input.abs_support) / static_cast<double>(count));
        const testsupport::ProgramResult run = testsupport::runProgram(KORVDUMP_PATH, {"r.spec", relative}, dir.path());
        ASSERT_EQ(run.exitStatus, 0) << run.out;

        std::string expected;
        const auto closed = testsupport::closedItemSequences(input.sequences, input.abs_support);
        for (const auto& [items, support] : closed) {
            for (const std::int32_t item : items) expected += std::to_string(item) + " ";
            expected += ": " + std::to_string(support) + "\n";
        }
        EXPECT_EQ(dir.readFile("frequent.dat"), expected) << "data:\n" << input.text;
        EXPECT_NE(run.out.find("Total: " + std::to_string(closed.size()) + "\n"), std::string::npos);
    }
}

// Sequences built to make the search deep: the closed pattern is as long as a sequence, and the
// windows of the period checks are long.
TEST(mine_closed, patterns_as_long_as_the_sequences) {
    std::mt19937 rng(5);
    for (const int length : {600, 3000}) {
        item_list sequence(static_cast<std::size_t>(length));
        for (std::int32_t& item : sequence) item = std::uniform_int_distribution<int>(0, 40)(rng);
        std::string text;
        for (int copy = 0; copy < 2; ++copy) {
            for (const std::int32_t item : sequence) text += std::to_string(item) + " ";
            text += "-1\n";
        }
        const testsupport::Mined mined = testsupport::mineKorv(text, 2, 2);
        EXPECT_EQ(mined.found, testsupport::inKeyOrder({{sequence, 2}}));
        EXPECT_EQ(mined.histogram.at(static_cast<std::size_t>(length)), 1);
    }
}

}  // namespace
