// Reading the sequence data of a run from its text data file.
//
// The data file is a stream of "%i" integer tokens: an id of 0 or more is the next item of the
// current sequence, -1 and -2 each end the current sequence, any other negative value is skipped.
// Reading stops once num_sequences + 1 end tokens have been read, or at the end of the file, in
// which case a partly read last sequence is kept. A token that is not an integer, or does not fit
// in 32 bits, makes the file invalid.
//
// The sequences are read into the form korv::Database::fromItemRuns takes. After a successful
// read:
//  1. runs[0] and runs.back() are -1, and a -1 follows every sequence: one -1 per sequence read
//     (empty sequences included, in file order) plus the first;
//  2. every other value is an item id as the file gives it (0 or more);
//  3. largest_id is the largest item id, or -1 when there is none.
#pragma once

#include <cstdint>

#include "korv/checked_allocator.h"
#include "token_scanner.h"

namespace korv {

struct data_file_contents {
    korv::ItemRuns runs;
    std::int32_t largest_id = -1;
};

enum class load_status { ok, invalid_token, read_error };

load_status load_sequences(token_scanner& scanner, std::int32_t num_sequences, data_file_contents& contents);

}  // namespace korv
