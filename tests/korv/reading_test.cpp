// Token reading, spec parsing, the support threshold and the sequence loader.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "compact_database.h"
#include "data_file.h"
#include "spec_file.h"
#include "token_scanner.h"
#include "support/mining.h"

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

struct loaded {
    load_status status;
    korv::data_file_contents contents;
};

loaded load(const std::string& text, std::int32_t num_sequences) {
    korv::token_scanner scanner(text);
    loaded result;
    result.status = korv::load_sequences(scanner, num_sequences, result.contents);
    return result;
}

using sequence_list = std::vector<std::vector<std::int32_t>>;

// The sequences of item runs (-1, then each sequence followed by -1), with `ids` applied when given.
sequence_list sequences_of(const korv::ItemRuns& runs, const std::vector<std::int32_t>* ids = nullptr) {
    EXPECT_TRUE(!runs.empty() && runs.front() == -1 && runs.back() == -1);
    sequence_list sequences;
    for (std::size_t p = 1; p < runs.size(); ++p) {
        if (runs[p - 1] == -1) sequences.emplace_back();
        if (runs[p] >= 0) sequences.back().push_back(ids ? (*ids)[static_cast<std::size_t>(runs[p])] : runs[p]);
    }
    return sequences;
}

TEST(load_sequences, skips_other_negatives_and_the_library_keeps_frequent_items) {
    // -5 is skipped; empty sequences are kept; the fifth end token ends the data.
    const loaded result = load("2 0 -5 2 1 -1\n0 3 2 -1\n\n-1 9 2 -1 -2 7 7 -1", 4);
    ASSERT_EQ(result.status, load_status::ok);
    EXPECT_EQ(sequences_of(result.contents.runs), (sequence_list{{2, 0, 2, 1}, {0, 3, 2}, {}, {9, 2}, {}}));
    EXPECT_EQ(result.contents.largest_id, 9);

    // At support 2, counting each sequence once, only 0 and 2 stay, renumbered in id order.
    korvcore::CompactDatabase compact;
    compact.items = result.contents.runs;
    const korvcore::CheckedVector<std::int32_t> kept = korvcore::keepFrequentItems(compact, 9, 2);
    const std::vector<std::int32_t> ids(kept.begin(), kept.end());
    EXPECT_EQ(ids, (std::vector<std::int32_t>{0, 2}));
    EXPECT_TRUE(testsupport::keepsCompactDatabaseInvariants(compact));
    EXPECT_FALSE(compact.uniqueItems);
    EXPECT_EQ(sequences_of(compact.items, &ids), (sequence_list{{2, 0, 2}, {0, 2}, {}, {2}, {}}));
}

TEST(load_sequences, stops_after_the_expected_end_tokens) {
    // num_sequences + 1 end tokens end the data; what follows is never read, even garbage.
    loaded result = load("0 1 -1 0 -1 -2 0 1 2 junk", 2);
    ASSERT_EQ(result.status, load_status::ok);
    EXPECT_EQ(sequences_of(result.contents.runs), (sequence_list{{0, 1}, {0}, {}}));

    // A -2 before the last expected end token ends a sequence like -1; items before the final
    // end token form one more sequence.
    result = load("0 1 -2 1 -2 4 -1 5", 2);
    ASSERT_EQ(result.status, load_status::ok);
    EXPECT_EQ(sequences_of(result.contents.runs), (sequence_list{{0, 1}, {1}, {4}}));

    // A negative count reads nothing.
    result = load("0 1 -1 -2", -1);
    ASSERT_EQ(result.status, load_status::ok);
    EXPECT_EQ(result.contents.runs, (korv::ItemRuns{-1}));
}

}  // namespace
