// Small primitives the scans over the database share.
#pragma once

#include <cstdint>

namespace korvplus {

// Forward match of a pattern event (its items, ended by -1) in the database event that holds
// index p: walks the event from p; an item equal to the cursor's item advances the cursor. True
// when the cursor passes the last item; p then stands just after the item that completed the
// match. Otherwise p stands on the event's -1.
inline bool matchEvent(const int32_t* data, int32_t& p, const int32_t* patternEvent) {
    for (; data[p] >= 0; ++p) {
        if (data[p] == *patternEvent && *++patternEvent == -1) {
            ++p;
            return true;
        }
    }
    return false;
}

// The nearest index from p on that holds `item`, walking forwards (Step 1) up to `bound` or
// backwards (Step -1) down to it; bound + Step when none does. Markers are passed over like
// items. Four elements per test: the loop turns a quarter as often, its one unpredictable exit
// comes at the rare match, and the match's place among the four is counted without branches
// (each skip counts only while no match came before).
template <int32_t Step>
inline int32_t findItem(const int32_t* data, int32_t p, int32_t bound, int32_t item) {
    for (; Step > 0 ? p + 3 <= bound : p - 3 >= bound; p += 4 * Step) {
        const bool any = (data[p] == item) | (data[p + Step] == item) | (data[p + 2 * Step] == item) |
                         (data[p + 3 * Step] == item);
        if (any) {
            const int32_t skip0 = data[p] != item ? 1 : 0;
            const int32_t skip1 = skip0 & (data[p + Step] != item ? 1 : 0);
            const int32_t skip2 = skip1 & (data[p + 2 * Step] != item ? 1 : 0);
            return Step > 0 ? p + skip0 + skip1 + skip2 : p - skip0 - skip1 - skip2;
        }
    }
    while ((Step > 0 ? p <= bound : p >= bound) && data[p] != item) p += Step;
    return p;
}

// The projected-database position of a match at index p: p + 1, or p + 2 when the element at
// p + 1 is an item that `isChild(item)` rejects as a child of the kind being built, which can then
// be stepped over. So position - 1 is always an item.
template <typename IsChild>
inline int32_t projectionPosition(const int32_t* data, int32_t p, IsChild isChild) {
    const int32_t next = data[p + 1];
    return (next >= 0 && !isChild(next)) ? p + 2 : p + 1;
}

// Asks for the cache line of data[index] ahead of use: the entries of a projected database lie far
// apart in the database, so each one's scan otherwise starts with a cache miss.
inline void prefetchPosition(const int32_t* data, int32_t index) {
#if defined(__GNUC__)
    __builtin_prefetch(data + index);
#else
    (void)data;
    (void)index;
#endif
}

// How many entries ahead the scans prefetch.
inline constexpr int32_t kPrefetchDistance = 8;

}  // namespace korvplus
