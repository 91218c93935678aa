// Literal reference search used to cross-check the optimized itemset-sequence miner.
//
// Layout mirrors the miner's search: mineClosedPatterns (root level), growPattern (one node of the
// depth-first search, with the closure test), canPruneSubtree / hasBackwardExtension (the two
// backward scans over the supporting sequences). Every per-item array has itemCount slots and is
// reset in full whenever a step says so. Indices are signed 32-bit; index 0 of the data holds -2,
// so every backward walk stops there at the latest.
#include "reference_miner.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>
#include <utility>
#include <vector>

namespace reference {
namespace {

constexpr int32_t kEventEnd = -1;
constexpr int32_t kSequenceEnd = -2;

bool isItem(int32_t value) { return value >= 0; }

int32_t sizeOf(const std::vector<int32_t>& values) { return static_cast<int32_t>(values.size()); }

void resetAll(std::vector<int32_t>& array, int32_t value) { std::fill(array.begin(), array.end(), value); }

// Number of events of a flat pattern: its count of -1 elements.
int32_t eventCount(const std::vector<int32_t>& pattern) {
    return static_cast<int32_t>(std::count(pattern.begin(), pattern.end(), kEventEnd));
}

// The events of a flat pattern, e_1 .. e_m.
std::vector<std::vector<int32_t>> splitEvents(const std::vector<int32_t>& pattern) {
    std::vector<std::vector<int32_t>> events;
    std::vector<int32_t> current;
    for (int32_t value : pattern) {
        if (value == kEventEnd) {
            events.push_back(current);
            current.clear();
        } else {
            current.push_back(value);
        }
    }
    return events;
}

struct Child {
    std::vector<int32_t> pattern;
    int32_t support = 0;
    std::vector<int32_t> positions;  // the child's projected database
};

class ReferenceMiner {
public:
    ReferenceMiner(const std::vector<int32_t>& sequenceData, int32_t itemCount, int32_t minSupport,
                   int32_t maxSequenceItems)
        : data_(sequenceData),
          itemCount_(itemCount),
          minSupport_(minSupport),
          seqExtCount_(static_cast<std::size_t>(itemCount), 0),
          seqExtStamp_(static_cast<std::size_t>(itemCount), -1),
          itemExtCount_(static_cast<std::size_t>(itemCount), 0),
          itemExtStamp_(static_cast<std::size_t>(itemCount), -1),
          seqExtIndex_(static_cast<std::size_t>(itemCount), -1),
          itemExtIndex_(static_cast<std::size_t>(itemCount), -1) {
        result_.lengthHistogram.assign(static_cast<std::size_t>(std::max(maxSequenceItems, 0)), 0);
    }

    ReferenceResult takeResult() { return std::move(result_); }

    // Root level: single-item supports, frequent items, their projected databases, then each item
    // in ascending id through the two checks and growPattern.
    void mineClosedPatterns() {
        // Step 1: single-item supports and sequence starts. The last two elements (the closing
        // -1 -2) are not visited.
        std::vector<int32_t> rootProjection;
        int32_t currentStart = 0;
        for (int32_t i = 0; i < sizeOf(data_) - 2; ++i) {
            const int32_t value = data_[i];
            if (value == kSequenceEnd) {
                currentStart = i + 1;
                rootProjection.push_back(i + 1);
            } else if (isItem(value)) {
                if (seqExtStamp_[value] != currentStart) {
                    ++seqExtCount_[value];
                    seqExtStamp_[value] = currentStart;
                }
            }
        }

        // Step 2: number the frequent items in ascending id.
        int32_t frequentCount = 0;
        for (int32_t x = 0; x < itemCount_; ++x) {
            if (seqExtCount_[x] >= minSupport_) {
                seqExtIndex_[x] = frequentCount++;
            }
        }

        // Step 3 (the clock) has no counterpart here.

        // Step 4: one single-item pattern, support and empty projected database per frequent item.
        std::vector<std::vector<int32_t>> itemPatterns;
        std::vector<int32_t> itemSupports;
        std::vector<std::vector<int32_t>> itemProjections;
        for (int32_t x = 0; x < itemCount_; ++x) {
            if (seqExtIndex_[x] != -1) {
                itemPatterns.push_back({x, kEventEnd});
                itemSupports.push_back(seqExtCount_[x]);
                itemProjections.emplace_back();
                itemProjections.back().reserve(static_cast<std::size_t>(seqExtCount_[x]));
            }
        }

        // Step 5: fill the projected databases in one pass, first occurrence per sequence.
        if (frequentCount > 0) {
            resetAll(seqExtStamp_, -1);
            for (int32_t s : rootProjection) {
                for (int32_t p = s; data_[p] != kSequenceEnd; ++p) {
                    const int32_t x = data_[p];
                    if (isItem(x) && seqExtIndex_[x] != -1 && s > seqExtStamp_[x]) {
                        seqExtStamp_[x] = s;
                        itemProjections[seqExtIndex_[x]].push_back(projectionPosition(p, seqExtIndex_));
                    }
                }
            }
        }

        // Step 6: mine each frequent item in ascending id.
        for (int32_t f = 0; f < frequentCount; ++f) {
            const std::vector<int32_t>& projection = itemProjections[f];
            const int32_t n = sizeOf(projection);
            // The root level has no rule for an empty projected database (possible only with a
            // threshold below 1, which callers must not pass); such an item is skipped.
            if (n == 0) {
                continue;
            }
            std::vector<int32_t> startList(static_cast<std::size_t>(n), 0);
            std::vector<std::vector<int32_t>> appearanceLists(static_cast<std::size_t>(n));
            for (auto& list : appearanceLists) {
                list.reserve(static_cast<std::size_t>(eventCount(itemPatterns[f])));
            }
            if (canPruneSubtree(projection, itemPatterns[f], startList, appearanceLists)) {
                continue;
            }
            for (auto& list : appearanceLists) {
                list.clear();
            }
            const int32_t hasBackward = hasBackwardExtension(projection, itemPatterns[f], startList, appearanceLists);
            growPattern(projection, itemPatterns[f], itemSupports[f], hasBackward, 0);
        }
        // Step 7 (releases and the clock) has no counterpart here.
    }

    // One node of the search: count forward extensions, decide closure, build and explore children.
    void growPattern(const std::vector<int32_t>& projection, const std::vector<int32_t>& pattern, int32_t support,
                     int32_t hasBackward, int32_t depth) {
        // Step 1: sequence-extension counting.
        resetAll(seqExtStamp_, -1);
        resetAll(seqExtCount_, 0);
        resetAll(seqExtIndex_, -1);
        for (int32_t position : projection) {
            int32_t q = skipRestOfEvent(position);
            for (; data_[q] != kSequenceEnd; ++q) {
                const int32_t x = data_[q];
                if (isItem(x) && seqExtStamp_[x] != position) {
                    seqExtStamp_[x] = position;
                    ++seqExtCount_[x];
                }
            }
        }

        // Step 2: frequent sequence extensions, scanning every item id.
        int32_t sequenceChildCount = 0;
        int32_t sequenceClosure = 0;
        for (int32_t j = 0; j < itemCount_; ++j) {
            if (seqExtCount_[j] >= minSupport_) {
                seqExtIndex_[j] = sequenceChildCount++;
                if (seqExtCount_[j] == support) {
                    ++sequenceClosure;
                }
            }
        }

        // Step 3: itemset-extension counting.
        resetAll(itemExtStamp_, -1);
        resetAll(itemExtCount_, 0);
        resetAll(itemExtIndex_, -1);
        const int32_t lastEventStart = findLastEventStart(pattern);
        for (int32_t position : projection) {
            int32_t q = position;
            // Same-event part: the items after the matched ones in the first instance's own event.
            if (q > 0 && isItem(data_[q - 1]) && isItem(data_[q])) {
                for (; data_[q] != kEventEnd; ++q) {
                    countItemsetCandidate(data_[q], position);
                }
            }
            // q stands on the -1 that ends the event; move to the next event.
            ++q;
            if (data_[q] == kSequenceEnd) {
                continue;
            }
            // Later-event part: events that hold the whole last pattern event.
            while (data_[q] != kSequenceEnd) {
                int32_t p = q;
                const int32_t completing = matchLastEvent(p, pattern, lastEventStart);
                if (completing >= 0) {
                    for (p = completing + 1; data_[p] != kEventEnd; ++p) {
                        countItemsetCandidate(data_[p], position);
                    }
                } else {
                    while (data_[p] != kEventEnd) {
                        ++p;
                    }
                }
                q = p + 1;
            }
        }

        // Step 4: frequent itemset extensions.
        int32_t itemsetChildCount = 0;
        int32_t itemsetClosure = 0;
        for (int32_t j = 0; j < itemCount_; ++j) {
            if (itemExtCount_[j] >= minSupport_) {
                itemExtIndex_[j] = itemsetChildCount++;
                if (itemExtCount_[j] == support) {
                    ++itemsetClosure;
                }
            }
        }

        // Step 5: closure test. The subtree is grown whether or not the pattern is closed.
        if (sequenceClosure + itemsetClosure + hasBackward == 0) {
            result_.patterns.push_back(pattern);
            ++result_.lengthHistogram.at(static_cast<std::size_t>(depth));
            ++result_.closedCount;
        }

        // Step 6: sequence-extension children, filled in one pass.
        std::vector<Child> sequenceChildren;
        for (int32_t x = 0; x < itemCount_; ++x) {
            if (seqExtIndex_[x] != -1) {
                Child child;
                child.pattern = pattern;
                child.pattern.push_back(x);
                child.pattern.push_back(kEventEnd);
                child.support = seqExtCount_[x];
                child.positions.reserve(static_cast<std::size_t>(std::max(child.support, 0)));
                sequenceChildren.push_back(std::move(child));
            }
        }
        if (sequenceChildCount > 0) {
            resetAll(seqExtStamp_, -1);
            for (int32_t position : projection) {
                for (int32_t p = skipRestOfEvent(position); data_[p] != kSequenceEnd; ++p) {
                    const int32_t x = data_[p];
                    if (isItem(x) && seqExtIndex_[x] != -1 && seqExtStamp_[x] < position) {
                        seqExtStamp_[x] = position;
                        sequenceChildren[seqExtIndex_[x]].positions.push_back(projectionPosition(p, seqExtIndex_));
                    }
                }
            }
        }

        // Step 7: itemset-extension children, filled in one pass; seqExtStamp serves as the stamp.
        std::vector<Child> itemsetChildren;
        for (int32_t y = 0; y < itemCount_; ++y) {
            if (itemExtIndex_[y] != -1) {
                Child child;
                child.pattern = pattern;
                child.pattern.back() = y;
                child.pattern.push_back(kEventEnd);
                child.support = itemExtCount_[y];
                child.positions.reserve(static_cast<std::size_t>(std::max(child.support, 0)));
                itemsetChildren.push_back(std::move(child));
            }
        }
        if (itemsetChildCount > 0) {
            resetAll(seqExtStamp_, -1);
            for (int32_t position : projection) {
                int32_t q = position;
                // (1) Same-event part; the one-item step-over of the position rule applies here.
                if (q > 0 && isItem(data_[q - 1]) && isItem(data_[q])) {
                    for (; data_[q] != kEventEnd; ++q) {
                        const int32_t y = data_[q];
                        if (itemExtIndex_[y] != -1 && seqExtStamp_[y] < position) {
                            seqExtStamp_[y] = position;
                            itemsetChildren[itemExtIndex_[y]].positions.push_back(
                                projectionPosition(q, itemExtIndex_));
                        }
                    }
                }
                // (2) Past the -1; a -2 there ends the entry, as in the counting of step 3.
                ++q;
                if (data_[q] == kSequenceEnd) {
                    continue;
                }
                // (3) Later-event part; here the position is always p + 1.
                while (data_[q] != kSequenceEnd) {
                    int32_t p = q;
                    const int32_t completing = matchLastEvent(p, pattern, lastEventStart);
                    if (completing >= 0) {
                        for (p = completing + 1; data_[p] != kEventEnd; ++p) {
                            const int32_t y = data_[p];
                            if (itemExtIndex_[y] != -1 && seqExtStamp_[y] < position) {
                                seqExtStamp_[y] = position;
                                itemsetChildren[itemExtIndex_[y]].positions.push_back(p + 1);
                            }
                        }
                    } else {
                        while (data_[p] != kEventEnd) {
                            ++p;
                        }
                    }
                    q = p + 1;
                }
            }
        }

        // Step 8: explore all sequence-extension children, then all itemset-extension children,
        // each kind in ascending item id.
        exploreChildren(sequenceChildren, depth);
        exploreChildren(itemsetChildren, depth);
    }

    bool canPruneSubtree(const std::vector<int32_t>& projection, const std::vector<int32_t>& pattern,
                         std::vector<int32_t>& startList, std::vector<std::vector<int32_t>>& appearanceLists) {
        return backwardScan(projection, pattern, startList, appearanceLists, /*fromLastAppearance=*/false);
    }

    int32_t hasBackwardExtension(const std::vector<int32_t>& projection, const std::vector<int32_t>& pattern,
                                 std::vector<int32_t>& startList,
                                 std::vector<std::vector<int32_t>>& appearanceLists) {
        return backwardScan(projection, pattern, startList, appearanceLists, /*fromLastAppearance=*/true) ? 1 : 0;
    }

private:
    // Position recorded for a match at p: p + 1, or p + 2 when the element at p + 1 is an item
    // whose slot in `indexArray` is -1 (exactly one such item is stepped over). A -1 at p + 1 is
    // never looked up.
    int32_t projectionPosition(int32_t p, const std::vector<int32_t>& indexArray) const {
        const int32_t next = data_[p + 1];
        if (isItem(next) && indexArray[next] == -1) {
            return p + 2;
        }
        return p + 1;
    }

    // growPattern steps 1 and 6: when the element before q is an item and q itself is an item, move q
    // to the -1 that ends the event; otherwise q stays.
    int32_t skipRestOfEvent(int32_t q) const {
        if (q > 0 && isItem(data_[q - 1]) && isItem(data_[q])) {
            while (data_[q] != kEventEnd) {
                ++q;
            }
        }
        return q;
    }

    // growPattern step 3: index in the pattern of the first item of its last event. Starts at
    // (length - 2) and steps back while the index is above 0 and the element before is not -1; the
    // index is tested first so the element before index 0 is never read.
    static int32_t findLastEventStart(const std::vector<int32_t>& pattern) {
        int32_t L = sizeOf(pattern) - 2;
        while (L > 0 && pattern[L - 1] != kEventEnd) {
            --L;
        }
        return L;
    }

    // growPattern steps 3 and 7, later events: walk the event starting at `p` with a cursor on pattern[L]; returns the
    // index of the item that brought the cursor to the pattern's final -1, or -1 when the event
    // does not hold the whole last pattern event. On return `p` is on the event's -1 when the
    // match failed.
    int32_t matchLastEvent(int32_t& p, const std::vector<int32_t>& pattern, int32_t lastEventStart) const {
        int32_t cursor = lastEventStart;
        for (; data_[p] != kEventEnd; ++p) {
            if (data_[p] == pattern[cursor]) {
                ++cursor;
                if (pattern[cursor] == kEventEnd) {
                    return p;
                }
            }
        }
        return -1;
    }

    void countItemsetCandidate(int32_t x, int32_t position) {
        if (itemExtStamp_[x] != position) {
            itemExtStamp_[x] = position;
            ++itemExtCount_[x];
        }
    }

    // growPattern step 8 for one kind of children.
    void exploreChildren(const std::vector<Child>& children, int32_t depth) {
        for (const Child& child : children) {
            const int32_t n = sizeOf(child.positions);
            if (n == 0) {
                break;  // only with a threshold below 1: the rest of this kind is not visited
            }
            std::vector<int32_t> startList(static_cast<std::size_t>(n), 0);
            std::vector<std::vector<int32_t>> appearanceLists(static_cast<std::size_t>(n));
            for (auto& list : appearanceLists) {
                list.reserve(static_cast<std::size_t>(eventCount(child.pattern)));
            }
            if (canPruneSubtree(child.positions, child.pattern, startList, appearanceLists)) {
                continue;
            }
            for (auto& list : appearanceLists) {
                list.clear();
            }
            const int32_t hasBackward =
                hasBackwardExtension(child.positions, child.pattern, startList, appearanceLists);
            growPattern(child.positions, child.pattern, child.support, hasBackward, depth + 1);
        }
    }

    // Forward match of pattern event `event` on the sequence event starting at `from`: returns the
    // index of the item that completed the match, or -1 when the event's -1 comes first.
    int32_t forwardMatch(int32_t from, const std::vector<int32_t>& event) const {
        std::size_t cursor = 0;
        for (int32_t p = from; data_[p] != kEventEnd; ++p) {
            if (data_[p] == event[cursor]) {
                ++cursor;
                if (cursor == event.size()) {
                    return p;
                }
            }
        }
        return -1;
    }

    // Backward match of `event` on the sequence event holding `from`, walking from `from` towards
    // the event's first item; true when the event's first item has been matched.
    bool backwardMatch(int32_t from, const std::vector<int32_t>& event) const {
        int32_t cursor = static_cast<int32_t>(event.size()) - 1;
        for (int32_t p = from; isItem(data_[p]); --p) {
            if (data_[p] == event[cursor]) {
                if (cursor == 0) {
                    return true;
                }
                --cursor;
            }
        }
        return false;
    }

    // Index of the -1 that ends the event holding index p.
    int32_t endOfEvent(int32_t p) const {
        while (data_[p] != kEventEnd) {
            ++p;
        }
        return p;
    }

    // Index of the first element of the event holding index p (p an item).
    int32_t startOfEvent(int32_t p) const {
        while (isItem(data_[p - 1])) {
            --p;
        }
        return p;
    }

    // The last item of the event before the one holding index p. When that event is the
    // first of its sequence there is none; the -2 before it is returned instead, so no walk ever
    // leaves the sequence or goes below index 0.
    int32_t lastItemOfPreviousEvent(int32_t p) const {
        while (isItem(data_[p])) {
            --p;
        }
        return data_[p] == kEventEnd ? p - 1 : p;
    }

    // The common algorithm of canPruneSubtree (first-instance windows) and hasBackwardExtension
    // (last-instance windows).
    bool backwardScan(const std::vector<int32_t>& projection, const std::vector<int32_t>& pattern,
                      std::vector<int32_t>& startList, std::vector<std::vector<int32_t>>& appearanceLists,
                      bool fromLastAppearance) {
        const std::vector<std::vector<int32_t>> events = splitEvents(pattern);  // e_1 .. e_m
        const int32_t m = static_cast<int32_t>(events.size());
        const int32_t n = sizeOf(projection);

        // Phase 1: appearance of every pattern event, found backwards from a, and the start slot.
        for (int32_t i = 0; i < n; ++i) {
            const int32_t f = projection[i] - 1;  // first-instance end, always an item
            std::vector<int32_t>& appearances = appearanceLists[i];

            // 1-2. a = f; for the backward-extension check, the completing item of e_m in the last
            // event after f's event that holds all of e_m, if any.
            int32_t a = f;
            if (fromLastAppearance) {
                for (int32_t p = endOfEvent(f) + 1; data_[p] != kSequenceEnd; p = endOfEvent(p) + 1) {
                    const int32_t completing = forwardMatch(p, events[m - 1]);
                    if (completing >= 0) {
                        a = completing;
                    }
                }
            }
            // 3.
            appearances.push_back(a);
            // 4-5. Place e_(m-1) .. e_1 each in the nearest sequence event before the previous one.
            int32_t d = lastItemOfPreviousEvent(a);
            for (int32_t j = m - 1; j >= 1; --j) {
                for (;;) {
                    if (!isItem(data_[d])) {
                        // Reached the sequence start without finding e_j: the entry does not
                        // support the pattern.
                        throw std::logic_error("reference miner: pattern event not found before its successor");
                    }
                    const int32_t remembered = d;
                    const bool complete = backwardMatch(d, events[j - 1]);
                    d = lastItemOfPreviousEvent(d);
                    if (complete) {
                        appearances.push_back(remembered);
                        break;
                    }
                }
            }
            // 6. Start slot: the sequence's first item, just after its -2.
            int32_t sequenceStart = f;
            while (data_[sequenceStart] != kSequenceEnd) {
                --sequenceStart;
            }
            startList[i] = sequenceStart + 1;
        }

        // Phase 2: one level per pattern event, e_1 first.
        for (int32_t k = 1; k <= m; ++k) {
            const std::vector<int32_t>& event = events[k - 1];
            resetAll(seqExtStamp_, -1);
            resetAll(itemExtStamp_, -1);
            int32_t sequenceHits = 0;
            int32_t itemsetHits = 0;
            for (int32_t i = 0; i < n; ++i) {
                sequenceHits = 0;
                itemsetHits = 0;
                const int32_t s = startList[i];
                const int32_t r = appearanceLists[i][m - k];
                const int32_t appearanceEventStart = startOfEvent(r);

                // 2.1 Sequence-type stretch: the complete events from the one starting at s up to
                // the one just before the event holding r (empty when that event starts at s).
                for (int32_t p = s; p < appearanceEventStart; ++p) {
                    const int32_t x = data_[p];
                    if (isItem(x) && seqExtStamp_[x] >= i - 1) {
                        seqExtStamp_[x] = i;
                        ++sequenceHits;
                    }
                }

                // 2.2 Itemset-type stretch: events from the one starting at s that start at or
                // before r and hold all of e_k; their items unused by the match are candidates,
                // after the completing item only up to index r inclusive.
                for (int32_t eventStart = s; data_[eventStart] != kSequenceEnd && eventStart <= r;
                     eventStart = endOfEvent(eventStart) + 1) {
                    std::vector<int32_t> candidates;
                    std::size_t cursor = 0;
                    int32_t completing = -1;
                    for (int32_t p = eventStart; data_[p] != kEventEnd; ++p) {
                        if (data_[p] == event[cursor]) {
                            ++cursor;
                            if (cursor == event.size()) {
                                completing = p;
                                break;
                            }
                        } else {
                            candidates.push_back(data_[p]);
                        }
                    }
                    if (completing < 0) {
                        continue;  // no complete match: the event yields nothing
                    }
                    for (int32_t p = completing + 1; p <= r && data_[p] != kEventEnd; ++p) {
                        candidates.push_back(data_[p]);
                    }
                    for (int32_t x : candidates) {
                        if (itemExtStamp_[x] == i - 1) {
                            itemExtStamp_[x] = i;
                            ++itemsetHits;
                        }
                    }
                }

                // 2.3 Move the start slot past the first event from s that holds all of e_k.
                int32_t eventStart = s;
                while (data_[eventStart] != kSequenceEnd && forwardMatch(eventStart, event) < 0) {
                    eventStart = endOfEvent(eventStart) + 1;
                }
                if (data_[eventStart] == kSequenceEnd) {
                    throw std::logic_error("reference miner: pattern event not found after the start slot");
                }
                startList[i] = endOfEvent(eventStart) + 1;
            }
            // 3. Verdict from the last entry's hit counts.
            if (sequenceHits != 0 || itemsetHits != 0) {
                return true;
            }
        }
        return false;
    }

    const std::vector<int32_t>& data_;
    int32_t itemCount_;
    int32_t minSupport_;
    std::vector<int32_t> seqExtCount_;
    std::vector<int32_t> seqExtStamp_;
    std::vector<int32_t> itemExtCount_;
    std::vector<int32_t> itemExtStamp_;
    std::vector<int32_t> seqExtIndex_;
    std::vector<int32_t> itemExtIndex_;
    ReferenceResult result_;
};

}  // namespace

ReferenceResult referenceMine(const std::vector<int32_t>& sequenceData, int32_t itemCount, int32_t minSupport,
                              int32_t maxSequenceItems) {
    ReferenceMiner miner(sequenceData, itemCount, minSupport, maxSequenceItems);
    miner.mineClosedPatterns();
    return miner.takeResult();
}

}  // namespace reference
