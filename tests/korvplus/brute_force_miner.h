// Closed patterns over sequences of itemsets, straight from the definitions, for small databases:
//   - a pattern (e_1 .. e_m) is contained in a sequence when some events E_1 < .. < E_m of the
//     sequence hold e_1 ⊆ E_1, .., e_m ⊆ E_m;
//   - its support is the number of sequences that contain it;
//   - a frequent pattern is closed when no pattern made by adding one item anywhere (into one of
//     its events, or as a new one-item event before, between or after them) has the same support.
// Patterns use the flat form of the miner: items of each event ascending, then -1.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace bruteforce {

using Event = std::vector<int32_t>;
using Sequence = std::vector<Event>;
using Database = std::vector<Sequence>;
using FlatPattern = std::vector<int32_t>;

int32_t support(const Database& database, const std::vector<Event>& pattern);
int32_t support(const Database& database, const FlatPattern& pattern);

// Whether `pattern` (which must be frequent) is closed.
bool isClosed(const Database& database, const std::vector<Event>& pattern, int32_t alphabetSize);

// Every closed pattern with support >= minSupport (>= 1), with its support.
std::map<FlatPattern, int32_t> closedPatterns(const Database& database, int32_t minSupport, int32_t alphabetSize);

std::vector<Event> unflatten(const FlatPattern& pattern);
FlatPattern flatten(const std::vector<Event>& pattern);

// The words of the binary file for `database` (without the leading -2 the driver adds).
std::vector<int32_t> toWords(const Database& database);

}  // namespace bruteforce
