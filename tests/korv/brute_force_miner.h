// A closed sequence miner written from the definition alone, as an oracle for the tests: a
// pattern is contained in a sequence when its items occur there in order; it is frequent when at
// least abs_support sequences contain it, and closed when no pattern with one item inserted
// anywhere (front, between two items, or end) is contained in as many sequences.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace korvtest {

using item_list = std::vector<std::int32_t>;

// Every frequent closed sequence with its support, in lexicographic order of the item lists.
std::map<item_list, int> brute_force_closed(const std::vector<item_list>& sequences,
                                            int abs_support);

}  // namespace korvtest
