// The two checks a candidate pattern gets before its node is grown. Both ask whether some item
// could be inserted into the pattern, before one of its events or into one of them, in every
// supporting sequence, by looking at the stretch of each sequence that lies before an instance
// of each pattern event:
//   canPruneSubtree       the windows of the first instance. A hit means no pattern below the
//                         candidate can be closed by this search, and the subtree is skipped.
//   hasBackwardExtension  the windows of the last instance of the final event. A hit means the
//                         candidate is not closed; its subtree is still grown.
//
// Per entry, locateEntry records where each pattern event appears (slot 0 for the last event,
// slot m - k for event k, each the index of the last item of the sequence event holding it) and
// the sequence's first item. Then level k = 1 .. m scans, per entry:
//   sequence-type stretch  the complete events from the entry's start up to the event before
//                          the appearance of event k; an item common to all could form a new
//                          event just before event k;
//   itemset-type stretch   every event from the start up to the appearance that contains event
//                          k, the items the match does not use; an item common to all could
//                          join event k.
// At level k the start stands just after the first instance of events 1 .. k - 1 (at the
// sequence's first item for k = 1): past the first event from the previous start that contains
// event k - 1. An entry is located when a level first scans it, and its start is moved on only
// when a level scans it (startLevels_ records the level each start serves; a start of -1 means
// the entry is not located yet), so the entries that no level reaches cost nothing.
//
// Commonness is tracked with the two stamps of each item and the entry number i as stamp:
//   sequence.stamp >= i - 1   x was in the sequence-type stretch of every entry so far;
//   itemset.stamp == i - 1    the same for the itemset-type stretch (each entry counts x once).
// A level finds an item when the last entry still raises a stamp of either kind. An entry that
// raises no stamp of a kind leaves no stamp of that kind that a later entry could raise, so from
// then on that kind is skipped for the level: the verdict cannot change.
#include "itemset_search.h"

namespace korvplus {

bool ItemsetSearch::canPruneSubtree(ProjectedDatabase projection) {
    return scanWindows(projection, WindowEnd::FirstInstance, nullptr);
}

bool ItemsetSearch::hasBackwardExtension(ProjectedDatabase projection, const int32_t* lastAppearance) {
    return scanWindows(projection, WindowEnd::LastOccurrence, lastAppearance);
}

bool ItemsetSearch::scanWindows(ProjectedDatabase projection, WindowEnd windowEnd, const int32_t* lastAppearance) {
    eventBegin_.clear();
    eventBegin_.push_back(0);
    for (std::size_t i = 0; i + 1 < pattern_.size(); ++i)
        if (pattern_[i] == -1) eventBegin_.push_back(int32_t(i) + 1);
    eventBegin_.push_back(int32_t(pattern_.size()));  // sentinel: one past the final -1

    const int32_t eventCount = int32_t(eventBegin_.size()) - 1;
    appearances_.resize(std::size_t(projection.size) * std::size_t(eventCount));
    starts_.assign(std::size_t(projection.size), -1);
    startLevels_.assign(std::size_t(projection.size), 1);
    for (int32_t k = 1; k <= eventCount; ++k)
        if (scanLevel(projection, k, windowEnd, lastAppearance)) return true;
    return false;
}

void ItemsetSearch::locateEntry(ProjectedDatabase projection, int32_t e, WindowEnd windowEnd,
                                const int32_t* lastAppearance) {
    const int32_t* data = data_;
    const int32_t* pattern = pattern_.data();
    const int32_t eventCount = int32_t(eventBegin_.size()) - 1;
    int32_t* slots = appearances_.data() + std::size_t(e) * std::size_t(eventCount);
    const int32_t firstInstanceEnd = projection.positions[e] - 1;
    const int32_t sequenceStart = sequenceStarts_.startOf(firstInstanceEnd);
    int32_t appearance = firstInstanceEnd;

    // From the last instance: the last event of the sequence, after the first instance, that
    // contains the whole final pattern event; countExtensions found it for this node.
    if (windowEnd == WindowEnd::LastOccurrence) appearance = lastAppearance[e];
    slots[0] = appearance;

    // Each earlier pattern event in the nearest sequence event before the one holding the next
    // pattern event, matched backwards; p stands on the marker before the event examined next.
    int32_t p = appearance;
    while (data[p] >= 0) --p;
    for (int32_t j = eventCount - 2; j >= 0; --j) {
        const int32_t first = eventBegin_[std::size_t(j)];
        const int32_t last = eventBegin_[std::size_t(j) + 1] - 2;
        bool found = false;
        if (first == last) {
            // A one-item event: its nearest occurrence, in one tight walk over items and markers
            // alike; the found item's event is then measured both ways.
            const int32_t item = pattern[first];
            if (data[p] != -2) {
                const int32_t t = findItem<-1>(data, p - 1, sequenceStart, item);
                if (t < sequenceStart) {
                    p = t;  // the sequence's -2
                } else {
                    found = true;
                    int32_t eventLast = t;
                    while (data[eventLast + 1] >= 0) ++eventLast;
                    slots[eventCount - 1 - j] = eventLast;
                    for (p = t; data[p] >= 0;) --p;
                }
            }
        } else {
            while (!found && data[p] != -2) {
                const int32_t eventLast = p - 1;
                int32_t cursor = last;
                int32_t t = eventLast;
                for (; data[t] >= 0; --t) {
                    if (data[t] != pattern[cursor]) continue;
                    if (cursor == first) {
                        found = true;
                        break;
                    }
                    --cursor;
                }
                while (data[t] >= 0) --t;
                if (found) slots[eventCount - 1 - j] = eventLast;
                p = t;
            }
        }
        if (!found) {
            // Unreachable for a pattern the entry supports; keeps every slot inside the sequence.
            for (; j >= 0; --j) slots[eventCount - 1 - j] = p + 1;
            break;
        }
    }
    starts_[std::size_t(e)] = sequenceStart;
}

// Moves the entry's start on from the level it serves to `level`: past the first event from the
// start that contains each pattern event in between.
int32_t ItemsetSearch::startForLevel(int32_t entry, int32_t level) {
    const int32_t* data = data_;
    int32_t& start = starts_[std::size_t(entry)];
    int32_t& startLevel = startLevels_[std::size_t(entry)];
    for (; startLevel < level; ++startLevel) {
        const int32_t* event = pattern_.data() + eventBegin_[std::size_t(startLevel) - 1];
        int32_t p = start;
        if (event[1] == -1) {
            // A one-item event: its first occurrence, in one tight walk over items and markers
            // alike, then past the end of the event that holds it.
            while (data[p] != event[0] && data[p] != -2) ++p;
            if (data[p] != -2) {
                while (data[p] >= 0) ++p;
                ++p;
            }
        } else {
            while (data[p] != -2) {
                const bool matched = matchEvent(data, p, event);
                while (data[p] >= 0) ++p;
                ++p;
                if (matched) break;
            }
        }
        start = p;
    }
    return start;
}

// The two stretches of one level, entry after entry. Both marking loops run without data-dependent
// branches, since whether an item is still common is unpredictable. A stamp is never above the
// current entry i, so "raise to i when it is i - 1" is stamp + (stamp == i - 1), and a stamp of i
// (an item met twice in the entry) stays. Each iteration writes its item into the touched list and
// keeps it only when the first entry raises it from rest. The -1 markers inside the sequence-type
// stretch look up items_[-1], whose stamps never count as common.
bool ItemsetSearch::scanLevel(ProjectedDatabase projection, int32_t level, WindowEnd windowEnd,
                              const int32_t* lastAppearance) {
    const int32_t* data = data_;
    ItemSlots* const items = items_;
    int32_t* const touchedSeq = touchedSeq_.items.data();
    int32_t* const touchedItem = touchedItem_.items.data();
    const int32_t eventCount = int32_t(eventBegin_.size()) - 1;
    const int32_t* event = pattern_.data() + eventBegin_[std::size_t(level) - 1];
    const int32_t slot = eventCount - level;

    bool sequenceAlive = true;
    bool itemsetAlive = true;
    int32_t sequenceHits = 0;
    int32_t itemsetHits = 0;
    for (int32_t i = 0; i < projection.size; ++i) {
        if (!sequenceAlive && !itemsetAlive) break;
        if (starts_[std::size_t(i)] == -1) locateEntry(projection, i, windowEnd, lastAppearance);
        const int32_t start = startLevels_[std::size_t(i)] == level ? starts_[std::size_t(i)] : startForLevel(i, level);
        const int32_t appearance = appearances_[std::size_t(i) * std::size_t(eventCount) + std::size_t(slot)];
        const int32_t previous = i - 1;
        const int32_t firstEntry = i == 0 ? 1 : 0;  // only the first entry raises items from rest
        sequenceHits = 0;
        itemsetHits = 0;

        if (sequenceAlive) {
            int32_t appearanceEventBegin = appearance;
            while (data[appearanceEventBegin - 1] >= 0) --appearanceEventBegin;
            // A stamp of i was raised earlier in this entry and counted then, so counting the
            // raises is enough to know whether the entry hit anything.
            if (firstEntry == 1) {
                int32_t touched = touchedSeq_.size;
                for (int32_t p = start; p < appearanceEventBegin; ++p) {
                    const int32_t x = data[p];
                    int32_t& stamp = items[x].sequence.stamp;
                    const int32_t raise = stamp == -1 ? 1 : 0;
                    touchedSeq[touched] = x;
                    touched += raise;
                    stamp += raise;
                    sequenceHits += raise;
                }
                touchedSeq_.size = touched;
            } else {
                for (int32_t p = start; p < appearanceEventBegin; ++p) {
                    int32_t& stamp = items[data[p]].sequence.stamp;
                    const int32_t raise = stamp == previous ? 1 : 0;
                    stamp += raise;
                    sequenceHits += raise;
                }
            }
            sequenceAlive = sequenceHits > 0;
        }

        if (itemsetAlive) {
            int32_t touched = touchedItem_.size;
            // Raises x's stamp when it is common so far and `unused` (not taken by the match).
            auto hit = [&](int32_t x, int32_t unused) {
                int32_t& stamp = items[x].itemset.stamp;
                const int32_t before = stamp;
                const int32_t raise = (before == previous ? 1 : 0) & unused;
                touchedItem[touched] = x;
                touched += raise & firstEntry;
                stamp = before + raise;
                itemsetHits += raise;
            };
            if (event[1] == -1) {
                // A one-item event {a}: the events holding a, found by one tight walk over items
                // and markers alike up to the appearance. In each, the match uses the first a,
                // never past the appearance (slot 0 stands on the completing a or the item after
                // it, the other slots on the last item of their event), and every other item up
                // to the appearance is unused.
                const int32_t a = event[0];
                for (int32_t p = start;; ++p) {
                    p = findItem<1>(data, p, appearance, a);
                    if (p > appearance) break;
                    int32_t t = p;
                    while (data[t - 1] >= 0) --t;
                    for (; t < p; ++t) hit(data[t], 1);
                    for (++p; data[p] >= 0; ++p) hit(data[p], p <= appearance ? 1 : 0);
                }
            } else {
                // The appearance lies inside the sequence, so the walk never reaches its -2.
                for (int32_t p = start; p <= appearance; ++p) {
                    const int32_t eventStart = p;
                    if (matchEvent(data, p, event)) {
                        // Unused items before the completing item, then those after it up to the
                        // appearance (inclusive) or the event's end.
                        const int32_t completing = p - 1;
                        const int32_t* used = event;
                        for (int32_t t = eventStart; t < completing; ++t) {
                            const int32_t taken = data[t] == *used ? 1 : 0;
                            used += taken;
                            hit(data[t], taken ^ 1);
                        }
                        for (int32_t t = p; t <= appearance && data[t] >= 0; ++t) hit(data[t], 1);
                    }
                    while (data[p] >= 0) ++p;
                }
            }
            touchedItem_.size = touched;
            itemsetAlive = itemsetHits > 0;
        }
    }

    // Only stamps were raised, and only the first entry's items were listed: back to rest.
    for (int32_t t = 0, size = touchedSeq_.size; t < size; ++t) items[touchedSeq[t]].sequence.stamp = -1;
    for (int32_t t = 0, size = touchedItem_.size; t < size; ++t) items[touchedItem[t]].itemset.stamp = -1;
    touchedSeq_.size = 0;
    touchedItem_.size = 0;
    return sequenceHits > 0 || itemsetHits > 0;
}

}  // namespace korvplus
