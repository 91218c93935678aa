#include "search_database.h"

#include <cstddef>
#include <limits>
#include <stdexcept>
#include <utility>

#include "dense_ids.h"

namespace korvplus {

constexpr std::size_t kMaxValues = std::numeric_limits<int32_t>::max();

std::vector<int32_t> normalizeMarkers(const std::vector<int32_t>& words) {
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
            if (value == -2) {
                out.push_back(-2);
                sequenceBegin = out.size();
            }
        }
        if (out.size() > kMaxValues) throw std::length_error("the database holds too many values");
    }
    out.resize(sequenceBegin);
    return out;
}

SearchDatabase prepareSearchDatabase(std::vector<int32_t>&& normalizedWords, int32_t largestItemId) {
    SearchDatabase database;
    std::vector<int32_t>& values = database.values = std::move(normalizedWords);
    if (values.size() >= kMaxValues) throw std::length_error("the database holds too many values");
    values.insert(values.begin(), -2);  // within the capacity normalizeMarkers reserved
    // Only sequences without items are left to drop: a -2 right after a -2.
    std::size_t kept = 1;
    for (std::size_t i = 1; i < values.size(); ++i)
        if (values[i] != -2 || values[kept - 1] != -2) values[kept++] = values[i];
    values.resize(kept);
    korvcore::renumberDensely(values, largestItemId, database.originalIds);
    database.originalIds.shrink_to_fit();
    for (std::size_t i = 1; i < values.size(); ++i)
        if (values[i] >= 0 && values[i - 1] >= 0) database.singleItemEvents = false;
    return database;
}

}  // namespace korvplus
