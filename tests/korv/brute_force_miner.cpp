#include "brute_force_miner.h"

#include <set>

namespace korvtest {

namespace {

bool contains(const item_list& sequence, const item_list& pattern) {
    std::size_t matched = 0;
    for (std::size_t p = 0; p < sequence.size() && matched < pattern.size(); ++p)
        if (sequence[p] == pattern[matched]) ++matched;
    return matched == pattern.size();
}

int support_of(const std::vector<item_list>& sequences, const item_list& pattern) {
    int support = 0;
    for (const item_list& sequence : sequences) support += contains(sequence, pattern) ? 1 : 0;
    return support;
}

}  // namespace

std::map<item_list, int> brute_force_closed(const std::vector<item_list>& sequences,
                                            int abs_support) {
    // Every pattern with support >= 1 is a subsequence of some sequence.
    std::set<item_list> candidates;
    std::set<std::int32_t> alphabet;
    for (const item_list& sequence : sequences) {
        alphabet.insert(sequence.begin(), sequence.end());
        const std::size_t n = sequence.size();
        for (std::uint32_t mask = 1; mask < (1u << n); ++mask) {
            item_list pattern;
            for (std::size_t p = 0; p < n; ++p)
                if (mask & (1u << p)) pattern.push_back(sequence[p]);
            candidates.insert(pattern);
        }
    }

    std::map<item_list, int> closed;
    for (const item_list& pattern : candidates) {
        const int support = support_of(sequences, pattern);
        if (support < abs_support) continue;
        bool is_closed = true;
        for (std::size_t at = 0; at <= pattern.size() && is_closed; ++at) {
            for (const std::int32_t item : alphabet) {
                item_list longer = pattern;
                longer.insert(longer.begin() + static_cast<std::ptrdiff_t>(at), item);
                if (support_of(sequences, longer) == support) {
                    is_closed = false;
                    break;
                }
            }
        }
        if (is_closed) closed.emplace(pattern, support);
    }
    return closed;
}

}  // namespace korvtest
