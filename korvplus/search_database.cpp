#include "search_database.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <stdexcept>
#include <utility>

#include "dense_ids.h"

namespace korvplus {

namespace {

constexpr std::size_t kMaxValues = std::numeric_limits<int32_t>::max();

}  // namespace

std::vector<int32_t> normalizeMarkers(const std::vector<int32_t>& words, bool keepEmptySequences) {
    std::vector<int32_t> out;
    out.reserve(words.size() + 2);
    out.push_back(-2);
    std::size_t sequenceBegin = out.size();
    bool eventOpen = false;
    for (const int32_t value : words) {
        if (value >= 0) {
            out.push_back(value);
            eventOpen = true;
        } else if (value == -1 || value == -2) {
            if (eventOpen) out.push_back(-1);
            eventOpen = false;
            if (value == -2 && (keepEmptySequences || out.size() > sequenceBegin)) {
                out.push_back(-2);
                sequenceBegin = out.size();
            }
        }
        if (out.size() > kMaxValues) throw std::length_error("the database holds too many values");
    }
    out.resize(sequenceBegin);
    return out;
}

namespace {

// Renumbers the values' items densely and notes whether every event holds one item.
SearchDatabase renumbered(std::vector<int32_t>&& values, int32_t largestItemId) {
    SearchDatabase database;
    database.values = std::move(values);
    korvcore::renumberDensely(database.values, largestItemId, database.originalIds);
    database.originalIds.shrink_to_fit();
    for (std::size_t i = 1; i < database.values.size(); ++i)
        if (database.values[i] >= 0 && database.values[i - 1] >= 0) database.singleItemEvents = false;
    return database;
}

}  // namespace

SearchDatabase prepareSearchDatabase(const std::vector<int32_t>& sequenceData, int32_t largestItemId) {
    return renumbered(normalizeMarkers(sequenceData, false), largestItemId);
}

SearchDatabase prepareSearchDatabase(std::vector<int32_t>&& normalizedWords, int32_t largestItemId) {
    std::vector<int32_t>& values = normalizedWords;
    values.insert(values.begin(), -2);  // within the capacity normalizeMarkers reserved
    // Only sequences without items are left to drop: a -2 right after a -2.
    std::size_t kept = 1;
    for (std::size_t i = 1; i < values.size(); ++i)
        if (values[i] != -2 || values[kept - 1] != -2) values[kept++] = values[i];
    values.resize(kept);
    return renumbered(std::move(values), largestItemId);
}

}  // namespace korvplus
