// The sequence data of a run, loaded from its text data file.
//
// The data file is a stream of "%i" integer tokens: an id of 0 or more is the next item of the
// current sequence, -1 and -2 each end the current sequence, any other negative value is skipped.
// Reading stops once num_sequences + 1 end tokens have been read, or at the end of the file, in
// which case a partly read last sequence is kept. A token that is not an integer, or does not fit
// in 32 bits, makes the file invalid.
//
// What the search needs is kept in the search core's compact form (compact_database.h).
// Invariants after a successful load:
//  1. compact.items[0] and its last cell are -1 marks; every sequence lies strictly between two
//     mark cells, so forward and backward scans stop on a mark without a bounds check.
//  2. compact.sequenceMarks[k] is the position of the mark cell just before sequence k; there is
//     one entry per sequence read, empty sequences included, in file order.
//  3. Item cells hold dense ranks 0 .. item_ids.size() - 1 of the frequent items only: items
//     whose support is below abs_support are dropped, since they can be part of no frequent
//     pattern and cannot stand in a window of every supporting sequence of one either.
//  4. item_ids is strictly increasing, so rank order is id order; item_ids[r] is the id the
//     data file used, which may be any non-negative int32. item_support[r] >= abs_support is the
//     number of sequences that contain the item.
//  5. longest_sequence is the largest number of item cells in one sequence; no pattern, and so
//     no search depth, can exceed it.
//  6. compact.uniqueItems and compact.nextSame are set (no sequence holds an item cell twice,
//     or where each cell's item occurs next).
#pragma once

#include <cstdint>
#include <vector>

#include "compact_database.h"
#include "run_vector.h"
#include "token_scanner.h"

namespace korv {

inline constexpr std::int32_t seq_end_mark = -1;

struct sequence_db {
    korvcore::CompactDatabase compact;
    run_vector<std::int32_t> item_ids;
    run_vector<std::int32_t> item_support;
    std::int32_t longest_sequence = 0;
};

enum class load_status { ok, invalid_token, read_error };

load_status load_sequences(token_scanner& scanner, std::int32_t num_sequences,
                           std::int32_t abs_support, sequence_db& db);

// Verifies invariants 1 to 6; used by the tests.
bool check_sequence_db(const sequence_db& db, std::int32_t abs_support);

}  // namespace korv
