// Closed sequential patterns straight from their definition, as an oracle for tests and fuzz
// targets on small databases:
//   - a pattern (e_1 .. e_m) of events is contained in a sequence when some events
//     E_1 < .. < E_m of the sequence hold e_1 ⊆ E_1, .., e_m ⊆ E_m (gaps allowed);
//   - its support is the number of sequences that contain it; it is frequent at a threshold when
//     its support reaches it;
//   - a frequent pattern is closed when no pattern made by adding one item anywhere (into one of
//     its events, or as a new one-item event before, between or after them) has the same
//     support. Any longer pattern with the same support would give such a one-item step.
// Over sequences of single items this is the usual subsequence with gaps.
//
// Patterns also come flat, as the miners write them: the items of each event ascending, then -1.
// Nothing here follows a search algorithm: patterns are enumerated by adding items one at a time
// and every candidate is judged by counting containment.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/database.h"

namespace testsupport {

using Pattern = std::vector<Event>;
using FlatPattern = std::vector<int32_t>;

Pattern unflatten(const FlatPattern& pattern);
FlatPattern flatten(const Pattern& pattern);

bool contains(const Sequence& sequence, const Pattern& pattern);
int32_t support(const Database& database, const Pattern& pattern);

// Whether a pattern that occurs in the database is closed.
bool isClosed(const Database& database, const Pattern& pattern);

// Every closed pattern with support >= minSupport (a threshold below 1 counts as 1), with its
// support, keyed by its flat form.
std::map<FlatPattern, int32_t> closedPatterns(const Database& database, int32_t minSupport);

// The same for sequences of single items, keyed by the item list.
std::map<std::vector<int32_t>, int32_t> closedItemSequences(const ItemSequences& sequences, int32_t minSupport);

// What is wrong with `written`, flat patterns in the order a miner wrote them for `database` at
// minSupport, or "" when nothing is: each must be frequent and closed, written once and never
// after one of its extensions (a pattern that begins with all of it but its final -1). When every
// event holds one item they must be the whole closed set.
std::string closedOutputError(const Database& database, int32_t minSupport, const std::vector<FlatPattern>& written);

}  // namespace testsupport
