// The database of the single-item search: the items of every sequence back to back.
//
// Invariants (testsupport::keepsCompactDatabaseInvariants verifies them in the tests):
//   1. items[0] == -1 and items.back() == -1; a -1 follows every sequence, so each sequence is
//      the run of items between two -1s (possibly none). No other negative value occurs.
//   2. sequenceMarks[s] is the index of the -1 before sequence s, strictly ascending; the final
//      -1 starts no sequence.
//   3. Every item is a dense id in [0, itemCount).
//   4. uniqueItems: no sequence holds an item twice. Then nextSame is empty, and the search keeps
//      no positions at all (see node_storage.h).
//   5. Otherwise nextSame[p] is the next position of the same sequence holding items[p], or
//      kNoPosition (larger than every position) when there is none; kNoPosition for a -1.
//   6. items.size() <= INT32_MAX: every index is an int32 position.
// Owned by the run; every search thread reads it.
#pragma once

#include <cstdint>
#include <vector>

#include "checked_vector.h"

namespace korvcore {

inline constexpr int32_t kNoPosition = INT32_MAX;

struct CompactDatabase {
    CheckedVector<int32_t> items;  // the type of korv::ItemRuns, which move in without a copy
    CheckedVector<int32_t> nextSame;
    CheckedVector<int32_t> sequenceMarks;
    int32_t itemCount = 0;
    bool uniqueItems = true;
};

// The compact form of a database of one-item events, given as values in which -1 ends an event
// and -2 a sequence, with -2 at index 0 and after the last sequence (dense item ids).
CompactDatabase compactOneItemEvents(const std::vector<int32_t>& values, int32_t itemCount);

// The compact form of sequences of single items given as `items` (a -1, then each sequence's
// items followed by -1; any ids >= 0) with sequenceMarks set: keeps the items of support >=
// minSupport, renumbered densely in id order, in place, and sets itemCount, sequenceMarks and
// the links. Returns originalIds: originalIds[dense] is the id given.
CheckedVector<int32_t> keepFrequentItems(CompactDatabase& database, int32_t largestItem, int32_t minSupport);

// Sets nextSame and uniqueItems once items, sequenceMarks and itemCount hold invariants 1 to 3.
void linkRepeatedItems(CompactDatabase& database);

}  // namespace korvcore
