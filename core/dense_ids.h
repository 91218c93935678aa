// Dense renumbering of item ids, shared by both miners' loaders.
//
// After renumberDensely(values, largestId, ids):
//   1. every value >= 0 is replaced by its rank among the distinct values >= 0 (negative values,
//      the markers, are left alone);
//   2. ids[rank] is the id it replaced; ids is strictly ascending, so rank order is id order.
// Ids up to a bound proportional to the data use a direct table, larger ones a sorted list, so a
// huge id never sizes an array.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "checked_vector.h"

namespace korvcore {

template <class Ids>
void renumberDensely(std::span<int32_t> values, int32_t largestId, Ids& ids) {
    ids.clear();
    if (largestId < 0) return;
    const std::size_t tableCells = std::size_t(largestId) + 1;
    if (tableCells <= 2 * values.size() + (std::size_t(1) << 20)) {
        CheckedVector<int32_t> rankOf(tableCells, -1);
        for (const int32_t value : values)
            if (value >= 0) rankOf[std::size_t(value)] = 0;
        for (std::size_t id = 0; id < tableCells; ++id) {
            if (rankOf[id] < 0) continue;
            rankOf[id] = int32_t(ids.size());
            ids.push_back(int32_t(id));
        }
        for (int32_t& value : values)
            if (value >= 0) value = rankOf[std::size_t(value)];
        return;
    }
    for (const int32_t value : values)
        if (value >= 0) ids.push_back(value);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    for (int32_t& value : values)
        if (value >= 0) value = int32_t(std::lower_bound(ids.begin(), ids.end(), value) - ids.begin());
}

}  // namespace korvcore
