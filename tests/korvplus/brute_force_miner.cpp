#include "brute_force_miner.h"

#include <algorithm>

namespace bruteforce {

namespace {

bool isSubset(const Event& small, const Event& large) {
    return std::all_of(small.begin(), small.end(),
                       [&](int32_t x) { return std::find(large.begin(), large.end(), x) != large.end(); });
}

bool contains(const Sequence& sequence, const std::vector<Event>& pattern) {
    std::size_t matched = 0;
    for (const Event& event : sequence)
        if (matched < pattern.size() && isSubset(pattern[matched], event)) ++matched;
    return matched == pattern.size();
}

// Every pattern with support >= minSupport, each generated once: a new one-item last event, or
// an item larger than all of the last event added to it.
void enumerate(const Database& database, int32_t minSupport, int32_t alphabetSize, std::vector<Event>& pattern,
               std::map<FlatPattern, int32_t>& closed) {
    for (int32_t x = 0; x < alphabetSize; ++x) {
        for (int kind = 0; kind < 2; ++kind) {
            if (kind == 1 && (pattern.empty() || pattern.back().back() >= x)) continue;
            if (kind == 0) pattern.push_back({x});
            else pattern.back().push_back(x);
            const int32_t s = support(database, pattern);
            if (s >= minSupport) {
                if (isClosed(database, pattern, alphabetSize)) closed[flatten(pattern)] = s;
                enumerate(database, minSupport, alphabetSize, pattern, closed);
            }
            if (kind == 0) pattern.pop_back();
            else pattern.back().pop_back();
        }
    }
}

}  // namespace

int32_t support(const Database& database, const std::vector<Event>& pattern) {
    int32_t count = 0;
    for (const Sequence& sequence : database)
        if (contains(sequence, pattern)) ++count;
    return count;
}

int32_t support(const Database& database, const FlatPattern& pattern) { return support(database, unflatten(pattern)); }

bool isClosed(const Database& database, const std::vector<Event>& pattern, int32_t alphabetSize) {
    const int32_t own = support(database, pattern);
    for (int32_t x = 0; x < alphabetSize; ++x) {
        for (std::size_t at = 0; at <= pattern.size(); ++at) {
            std::vector<Event> longer = pattern;
            longer.insert(longer.begin() + std::ptrdiff_t(at), Event{x});
            if (support(database, longer) == own) return false;
        }
        for (std::size_t at = 0; at < pattern.size(); ++at) {
            if (std::find(pattern[at].begin(), pattern[at].end(), x) != pattern[at].end()) continue;
            std::vector<Event> longer = pattern;
            longer[at].push_back(x);
            std::sort(longer[at].begin(), longer[at].end());
            if (support(database, longer) == own) return false;
        }
    }
    return true;
}

std::map<FlatPattern, int32_t> closedPatterns(const Database& database, int32_t minSupport, int32_t alphabetSize) {
    std::map<FlatPattern, int32_t> closed;
    std::vector<Event> pattern;
    enumerate(database, std::max<int32_t>(minSupport, 1), alphabetSize, pattern, closed);
    return closed;
}

std::vector<Event> unflatten(const FlatPattern& pattern) {
    std::vector<Event> events(1);
    for (const int32_t value : pattern) {
        if (value == -1) events.emplace_back();
        else events.back().push_back(value);
    }
    events.pop_back();
    return events;
}

FlatPattern flatten(const std::vector<Event>& pattern) {
    FlatPattern flat;
    for (const Event& event : pattern) {
        flat.insert(flat.end(), event.begin(), event.end());
        flat.push_back(-1);
    }
    return flat;
}

std::vector<int32_t> toWords(const Database& database) {
    std::vector<int32_t> words;
    for (const Sequence& sequence : database) {
        for (const Event& event : sequence) {
            words.insert(words.end(), event.begin(), event.end());
            words.push_back(-1);
        }
        words.push_back(-2);
    }
    return words;
}

}  // namespace bruteforce
