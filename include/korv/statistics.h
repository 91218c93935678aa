// Figures of a database, as `korvdb stats` prints them.
#pragma once

#include <cstdint>
#include <vector>

#include "korv/database.h"

namespace korv {

struct DatabaseStatistics {
    int64_t sequences = 0;
    int64_t events = 0;
    int64_t items = 0;  // item occurrences, in all events
    int64_t distinctItems = 0;
    int32_t largestItem = -1;  // -1 when there is none
    // The most items, and the most events, of one sequence (not necessarily the same one).
    int64_t longestSequenceItems = 0;
    int64_t longestSequenceEvents = 0;
    int64_t largestEvent = 0;  // items
    // Sequences by length in items: [0] counts the empty ones, [b] those of 2^(b-1) to 2^b - 1
    // items. Ends at the last bucket that counts a sequence (empty without sequences).
    std::vector<int64_t> sequencesByLength;
};

DatabaseStatistics statistics(const Database& database);

}  // namespace korv
