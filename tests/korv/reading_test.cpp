// Token reading, spec parsing, the support threshold and the sequence loader.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "sequence_db.h"
#include "spec_file.h"
#include "token_scanner.h"

namespace {

using korv::load_status;
using korv::scan_status;

// Reads every "%i" token until the scanner stops; the last status is returned in `stop`.
std::vector<std::int32_t> read_all(const std::string& text, scan_status& stop) {
    korv::token_scanner scanner(text);
    std::vector<std::int32_t> values;
    std::int32_t value = 0;
    while ((stop = scanner.read_int(value)) == scan_status::ok) values.push_back(value);
    return values;
}

TEST(token_scanner, reads_integers_like_formatted_input) {
    scan_status stop{};
    EXPECT_EQ(read_all(" 0x10\t010\n-7 +5 0 0XfF 09\r\v\f-0x1a", stop),
              (std::vector<std::int32_t>{16, 8, -7, 5, 0, 255, 0, 9, -26}));
    EXPECT_EQ(stop, scan_status::end_of_input);

    // A number ends where it cannot continue, so these are two numbers each; "0x" alone is 0.
    EXPECT_EQ(read_all("1-1 3-2 0x", stop), (std::vector<std::int32_t>{1, -1, 3, -2, 0}));
    EXPECT_EQ(read_all("2147483647 -2147483648", stop),
              (std::vector<std::int32_t>{2147483647, -2147483647 - 1}));
    EXPECT_EQ(stop, scan_status::end_of_input);
}

TEST(token_scanner, reports_what_is_not_a_number_or_too_large) {
    scan_status stop{};
    EXPECT_EQ(read_all("4 x", stop), (std::vector<std::int32_t>{4}));
    EXPECT_EQ(stop, scan_status::not_a_number);
    read_all("- 5", stop);
    EXPECT_EQ(stop, scan_status::not_a_number);

    for (const char* big : {"2147483648", "-2147483649", "0x100000000", "99999999999999999999999"}) {
        korv::token_scanner scanner{std::string_view(big)};
        std::int32_t value = 0;
        EXPECT_EQ(scanner.read_int(value), scan_status::out_of_range) << big;
        EXPECT_EQ(value, big[0] == '-' ? std::numeric_limits<std::int32_t>::min()
                                       : std::numeric_limits<std::int32_t>::max());
    }
}

korv::run_spec parse_spec(const std::string& text) {
    korv::token_scanner scanner(text);
    korv::run_spec spec;
    EXPECT_TRUE(korv::read_spec(scanner, spec));
    return spec;
}

TEST(read_spec, reads_five_tokens_in_any_base) {
    const korv::run_spec spec = parse_spec("data/seq.txt\n0x10 010\n  7 9 trailing words");
    EXPECT_EQ(spec.data_path, "data/seq.txt");
    EXPECT_EQ(spec.num_items, 16);
    EXPECT_EQ(spec.num_sequences, 8);
    EXPECT_EQ(spec.max_length, 7);
    EXPECT_EQ(spec.sizing_length, 9);
}

TEST(read_spec, missing_or_non_numeric_token_zeroes_the_rest) {
    korv::run_spec spec = parse_spec("d.txt 3 many 4 4");
    EXPECT_EQ(spec.num_items, 3);
    EXPECT_EQ(spec.num_sequences, 0);
    EXPECT_EQ(spec.max_length, 0);
    EXPECT_EQ(spec.sizing_length, 0);

    spec = parse_spec("d.txt 3 5");
    EXPECT_EQ(spec.num_sequences, 5);
    EXPECT_EQ(spec.max_length, 0);

    spec = parse_spec("");
    EXPECT_EQ(spec.data_path, "");
    EXPECT_EQ(spec.num_items, 0);

    spec = parse_spec("d.txt 99999999999 -99999999999 1 1");
    EXPECT_EQ(spec.num_items, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(spec.num_sequences, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(spec.max_length, 1);
}

TEST(abs_support_for, rounds_half_up_and_never_drops_below_one) {
    EXPECT_EQ(korv::abs_support_for(4, 0.5), 2);     // 2.5 truncates to 2
    EXPECT_EQ(korv::abs_support_for(10, 0.25), 3);   // 3.0
    EXPECT_EQ(korv::abs_support_for(1000, 0.01), 10);  // 10.5
    EXPECT_EQ(korv::abs_support_for(3, 0.5), 2);
    EXPECT_EQ(korv::abs_support_for(7, 1.0), 7);

    // Thresholds that would round to 0 or below are raised to 1.
    EXPECT_EQ(korv::abs_support_for(10, 0.0), 1);
    EXPECT_EQ(korv::abs_support_for(10, -3.0), 1);
    EXPECT_EQ(korv::abs_support_for(100, 0.004), 1);
    EXPECT_EQ(korv::abs_support_for(0, 0.9), 1);
    EXPECT_EQ(korv::abs_support_for(-5, 0.5), 1);

    // Values that are not finite or far too large are clamped, never undefined.
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(korv::abs_support_for(10, std::nan("")), 1);
    EXPECT_EQ(korv::abs_support_for(10, inf), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(korv::abs_support_for(10, -inf), 1);
    EXPECT_EQ(korv::abs_support_for(10, 1e300), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(korv::abs_support_for(0, inf), 1);  // 0 * inf is NaN
}

struct loaded {
    load_status status;
    korv::sequence_db db;
};

loaded load(const std::string& text, std::int32_t num_sequences, std::int32_t abs_support) {
    korv::token_scanner scanner(text);
    loaded result;
    result.status = korv::load_sequences(scanner, num_sequences, abs_support, result.db);
    if (result.status == load_status::ok) {
        EXPECT_TRUE(korv::check_sequence_db(result.db, abs_support));
    }
    return result;
}

// The sequences of a loaded database as data file ids, for comparison.
std::vector<std::vector<std::int32_t>> sequences_of(const korv::sequence_db& db) {
    std::vector<std::vector<std::int32_t>> sequences;
    for (const std::int32_t start : db.compact.sequenceMarks) {
        sequences.emplace_back();
        for (std::size_t p = static_cast<std::size_t>(start) + 1; db.compact.items[p] >= 0; ++p)
            sequences.back().push_back(db.item_ids[static_cast<std::size_t>(db.compact.items[p])]);
    }
    return sequences;
}

using sequence_list = std::vector<std::vector<std::int32_t>>;

std::vector<std::int32_t> plain(const korv::run_vector<std::int32_t>& cells) {
    return {cells.begin(), cells.end()};
}

TEST(load_sequences, counts_each_sequence_once_and_keeps_frequent_items) {
    // 2 repeats in the first sequence; -5 is skipped; 3 and 9 occur once, below the threshold.
    const loaded result = load("2 0 -5 2 1 -1\n0 3 2 -1\n\n-1 9 2 -1 -2 7 7 -1", 4, 2);
    ASSERT_EQ(result.status, load_status::ok);
    EXPECT_EQ(plain(result.db.item_ids), (std::vector<std::int32_t>{0, 2}));
    EXPECT_EQ(plain(result.db.item_support), (std::vector<std::int32_t>{2, 3}));
    EXPECT_EQ(sequences_of(result.db), (sequence_list{{2, 0, 2}, {0, 2}, {}, {2}, {}}));
    EXPECT_EQ(result.db.longest_sequence, 3);
}

TEST(load_sequences, stops_after_the_expected_end_tokens) {
    // num_sequences + 1 end tokens end the data; what follows is never read, even garbage.
    loaded result = load("0 1 -1 0 -1 -2 0 1 2 junk", 2, 1);
    ASSERT_EQ(result.status, load_status::ok);
    EXPECT_EQ(sequences_of(result.db), (sequence_list{{0, 1}, {0}, {}}));

    // A -2 before the last expected end token ends a sequence like -1; items before the final
    // end token form one more sequence.
    result = load("0 1 -2 1 -2 4 -1 5", 2, 1);
    ASSERT_EQ(result.status, load_status::ok);
    EXPECT_EQ(sequences_of(result.db), (sequence_list{{0, 1}, {1}, {4}}));

    // A negative count reads nothing.
    result = load("0 1 -1 -2", -1, 1);
    ASSERT_EQ(result.status, load_status::ok);
    EXPECT_TRUE(result.db.compact.sequenceMarks.empty());
}

}  // namespace
