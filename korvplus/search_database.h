// The database as the search reads it, derived once from the loaded words.
//
// Invariants (the search relies on them without checks; testsupport::keepsSearchDatabaseInvariants
// verifies them in the tests and the fuzz target):
//   1. values[0] == -2 and values.back() == -2.
//   2. Between two consecutive -2 stands one sequence: one or more events, each one or more items
//      followed by -1. So every -1 follows an item and every -2 after index 0 follows a -1.
//   3. Every item is a dense id in [0, itemCount()).
//   4. originalIds[dense] is the file's id; it is strictly ascending, so dense ids order items
//      exactly as the file's ids do and every ascending walk visits items in the same order.
//   5. values.size() <= INT32_MAX: every index is an int32 position.
//   6. singleItemEvents is true exactly when every event holds one item: each sequence is then
//      item, -1, item, -1, ..., -1 and items stand at every other index.
//
// What the loaded words may hold beyond a well-formed file is settled here, once:
//   - values below -2 are dropped;
//   - a -2 that directly follows an item is read as if a -1 stood before it;
//   - empty events and sequences without items are dropped (they can contain no pattern);
//   - words after the last -2 (an unterminated final sequence) are dropped.
// Events out of order or with repeated items are kept as they are.
#pragma once

#include <cstdint>
#include <vector>

namespace korvplus {

struct SearchDatabase {
    std::vector<int32_t> values;
    std::vector<int32_t> originalIds;
    bool singleItemEvents = true;

    int32_t itemCount() const { return static_cast<int32_t>(originalIds.size()); }
};

// The words with the rules above applied but for dropping sequences without items (a korv::Database
// keeps them), after a leading -2; every -2 of the result closes a sequence.
std::vector<int32_t> normalizeMarkers(const std::vector<int32_t>& words);

// The search database of words that normalizeMarkers gave, without their leading -2
// (as a korv::Database holds them): they become the values in place, with no copy. Throws
// std::length_error when the result would not be indexable by int32.
SearchDatabase prepareSearchDatabase(std::vector<int32_t>&& normalizedWords, int32_t largestItemId);

}  // namespace korvplus
