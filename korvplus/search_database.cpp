#include "search_database.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <stdexcept>

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

SearchDatabase prepareSearchDatabase(const std::vector<int32_t>& sequenceData, int32_t largestItemId) {
    SearchDatabase database;
    database.values = normalizeMarkers(sequenceData, false);
    korvcore::renumberDensely(database.values, largestItemId, database.originalIds);
    database.originalIds.shrink_to_fit();
    for (std::size_t i = 1; i < database.values.size(); ++i)
        if (database.values[i] >= 0 && database.values[i - 1] >= 0) database.singleItemEvents = false;
    return database;
}

bool checkSearchDatabase(const SearchDatabase& database) {
    const std::vector<int32_t>& v = database.values;
    if (v.empty() || v.front() != -2 || v.back() != -2 || v.size() > kMaxValues) return false;
    for (std::size_t i = 1; i < database.originalIds.size(); ++i)
        if (database.originalIds[i - 1] >= database.originalIds[i]) return false;
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (v[i] >= 0) {
            if (v[i] >= database.itemCount()) return false;
            if (v[i - 1] >= 0 && database.singleItemEvents) return false;
        } else if (v[i] == -1) {
            if (v[i - 1] < 0) return false;
        } else if (v[i] != -2 || v[i - 1] != -1) {
            return false;
        }
    }
    return true;
}

}  // namespace korvplus
