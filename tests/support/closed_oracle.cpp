#include "support/closed_oracle.h"

#include <algorithm>
#include <set>
#include <string>

namespace testsupport {

namespace {

bool isSubset(const Event& small, const Event& large) {
    return std::all_of(small.begin(), small.end(),
                       [&](int32_t x) { return std::find(large.begin(), large.end(), x) != large.end(); });
}

// Every item of the database, ascending: the only items a pattern that occurs can hold.
std::vector<int32_t> alphabetOf(const Database& database) {
    std::set<int32_t> items;
    for (const Sequence& sequence : database)
        for (const Event& event : sequence) items.insert(event.begin(), event.end());
    return {items.begin(), items.end()};
}

std::vector<const Sequence*> supportingSequences(const Database& database, const Pattern& pattern) {
    std::vector<const Sequence*> supporting;
    for (const Sequence& sequence : database)
        if (contains(sequence, pattern)) supporting.push_back(&sequence);
    return supporting;
}

// A longer pattern has the same support exactly when every sequence that contains the shorter one
// contains it too.
bool inAll(const std::vector<const Sequence*>& sequences, const Pattern& pattern) {
    return std::all_of(sequences.begin(), sequences.end(),
                       [&](const Sequence* sequence) { return contains(*sequence, pattern); });
}

bool closedOver(const Database& database, const Pattern& pattern, const std::vector<int32_t>& alphabet) {
    const std::vector<const Sequence*> supporting = supportingSequences(database, pattern);
    for (const int32_t x : alphabet) {
        for (std::size_t at = 0; at <= pattern.size(); ++at) {
            Pattern longer = pattern;
            longer.insert(longer.begin() + std::ptrdiff_t(at), Event{x});
            if (inAll(supporting, longer)) return false;
        }
        for (std::size_t at = 0; at < pattern.size(); ++at) {
            if (std::find(pattern[at].begin(), pattern[at].end(), x) != pattern[at].end()) continue;
            Pattern longer = pattern;
            longer[at].insert(std::upper_bound(longer[at].begin(), longer[at].end(), x), x);
            if (inAll(supporting, longer)) return false;
        }
    }
    return true;
}

// Every frequent pattern once: each grows from a shorter one by a new one-item last event, or by
// an item above all of its last event's items joining that event. Support only falls as a
// pattern grows, so an infrequent pattern ends its branch.
void enumerate(const Database& database, int32_t minSupport, const std::vector<int32_t>& alphabet, Pattern& pattern,
               std::map<FlatPattern, int32_t>& closed) {
    for (const int32_t x : alphabet) {
        for (const bool joinLastEvent : {false, true}) {
            if (joinLastEvent && (pattern.empty() || pattern.back().back() >= x)) continue;
            if (joinLastEvent) pattern.back().push_back(x);
            else pattern.push_back({x});
            const int32_t count = support(database, pattern);
            if (count >= minSupport) {
                if (closedOver(database, pattern, alphabet)) closed[flatten(pattern)] = count;
                enumerate(database, minSupport, alphabet, pattern, closed);
            }
            if (joinLastEvent) pattern.back().pop_back();
            else pattern.pop_back();
        }
    }
}

// Appending items, as new events or into the last one, turns `shorter` into `longer`.
bool extends(const FlatPattern& longer, const FlatPattern& shorter) {
    return longer.size() > shorter.size() && std::equal(shorter.begin(), shorter.end() - 1, longer.begin());
}

std::string describe(const FlatPattern& pattern) {
    std::string text;
    for (const int32_t value : pattern) {
        text += ' ';
        text += value == -1 ? "|" : std::to_string(value);
    }
    return text;
}

}  // namespace

Pattern unflatten(const FlatPattern& pattern) {
    Pattern events(1);
    for (const int32_t value : pattern) {
        if (value == -1) events.emplace_back();
        else events.back().push_back(value);
    }
    events.pop_back();
    return events;
}

FlatPattern flatten(const Pattern& pattern) {
    FlatPattern flat;
    for (const Event& event : pattern) {
        flat.insert(flat.end(), event.begin(), event.end());
        flat.push_back(-1);
    }
    return flat;
}

// Matching each pattern event in the earliest event that can hold it leaves the most room for the
// rest, so a greedy walk decides containment.
bool contains(const Sequence& sequence, const Pattern& pattern) {
    std::size_t matched = 0;
    for (const Event& event : sequence)
        if (matched < pattern.size() && isSubset(pattern[matched], event)) ++matched;
    return matched == pattern.size();
}

int32_t support(const Database& database, const Pattern& pattern) {
    int32_t count = 0;
    for (const Sequence& sequence : database)
        if (contains(sequence, pattern)) ++count;
    return count;
}

bool isClosed(const Database& database, const Pattern& pattern) {
    return closedOver(database, pattern, alphabetOf(database));
}

std::map<FlatPattern, int32_t> closedPatterns(const Database& database, int32_t minSupport) {
    std::map<FlatPattern, int32_t> closed;
    Pattern pattern;
    enumerate(database, std::max<int32_t>(minSupport, 1), alphabetOf(database), pattern, closed);
    return closed;
}

std::string closedOutputError(const Database& database, int32_t minSupport, const std::vector<FlatPattern>& written) {
    std::set<FlatPattern> seen;
    for (std::size_t i = 0; i < written.size(); ++i) {
        const std::string which = "pattern " + std::to_string(i) + describe(written[i]);
        if (!seen.insert(written[i]).second) return which + " written twice";
        if (support(database, unflatten(written[i])) < std::max(minSupport, 1)) return which + " not frequent";
        if (!isClosed(database, unflatten(written[i]))) return which + " not closed";
        for (std::size_t j = 0; j < i; ++j)
            if (extends(written[j], written[i])) return which + " written after its extension" + describe(written[j]);
    }
    const bool oneItemEvents = std::all_of(database.begin(), database.end(), [](const Sequence& sequence) {
        return std::all_of(sequence.begin(), sequence.end(), [](const Event& event) { return event.size() == 1; });
    });
    if (oneItemEvents) {
        for (const auto& entry : closedPatterns(database, minSupport))
            if (seen.count(entry.first) == 0) return "closed pattern" + describe(entry.first) + " not written";
    }
    return "";
}

std::map<std::vector<int32_t>, int32_t> closedItemSequences(const ItemSequences& sequences, int32_t minSupport) {
    std::map<std::vector<int32_t>, int32_t> closed;
    for (const auto& [flat, count] : closedPatterns(asOneItemEvents(sequences), minSupport)) {
        std::vector<int32_t> items;
        for (const int32_t value : flat)
            if (value != -1) items.push_back(value);
        closed.emplace(std::move(items), count);
    }
    return closed;
}

}  // namespace testsupport
