// The spec file that describes a run's sequence data, and the absolute support threshold.
//
// A spec file holds five white-space-separated tokens: the data file name ("%s"), then the
// number of unique items, the number of sequences, the maximal length and the sizing length
// (each "%i"). Anything after the fifth token is ignored. A missing or non-numeric token leaves
// its value, and every value after it, at 0; a number beyond the int32 range is clamped to it.
//
// Only the data file name and the number of sequences steer the run: storage is sized from the
// data, so the number of items, the maximal length and the sizing length are reported as read
// and otherwise unused.
#pragma once

#include <cstdint>
#include <string>

#include "token_scanner.h"

namespace korv {

struct run_spec {
    std::string data_path;
    std::int32_t num_items = 0;
    std::int32_t num_sequences = 0;
    std::int32_t max_length = 0;
    std::int32_t sizing_length = 0;
};

// Reads the five tokens into `spec`; false when the bytes could not be read.
bool read_spec(token_scanner& scanner, run_spec& spec);

}  // namespace korv
