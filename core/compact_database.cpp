#include "compact_database.h"

#include "dense_ids.h"

namespace korvcore {

CompactDatabase compactOneItemEvents(const std::vector<int32_t>& values, int32_t itemCount) {
    CompactDatabase compact;
    compact.itemCount = itemCount;
    CheckedVector<int32_t>& items = compact.items;
    items.reserve(values.size() / 2 + 1);
    items.push_back(-1);
    compact.sequenceMarks.push_back(0);
    // Every event is one item followed by -1, so the items are the values followed by -1.
    for (std::size_t i = 1; i < values.size(); ++i) {
        const int32_t value = values[i];
        if (value >= 0) {
            items.push_back(value);
        } else if (value == -2) {
            items.push_back(-1);
            compact.sequenceMarks.push_back(int32_t(items.size()) - 1);
        }
    }
    compact.sequenceMarks.pop_back();  // the final -1 starts no sequence
    linkRepeatedItems(compact);
    return compact;
}

CheckedVector<int32_t> keepFrequentItems(CompactDatabase& database, int32_t largestItem, int32_t minSupport) {
    CheckedVector<int32_t>& items = database.items;
    CheckedVector<int32_t> ids;
    renumberDensely(items, largestItem, ids);

    // Support of every item, counting each sequence once: an item is stamped with the number of
    // the sequence that last counted it.
    CheckedVector<int32_t> support(ids.size(), 0);
    CheckedVector<int32_t> lastSequence(ids.size(), -1);
    int32_t sequence = -1;
    for (const int32_t item : items) {
        if (item < 0) {
            ++sequence;
            continue;
        }
        if (lastSequence[std::size_t(item)] == sequence) continue;
        lastSequence[std::size_t(item)] = sequence;
        ++support[std::size_t(item)];
    }

    // The frequent items renumbered densely; lastSequence becomes the new id, -1 when dropped.
    CheckedVector<int32_t> originalIds;
    CheckedVector<int32_t>& newId = lastSequence;
    for (std::size_t r = 0; r < ids.size(); ++r) {
        newId[r] = -1;
        if (support[r] < minSupport) continue;
        newId[r] = int32_t(originalIds.size());
        originalIds.push_back(ids[r]);
    }

    // Drop the infrequent items in place and note where each sequence starts.
    database.sequenceMarks.clear();
    std::size_t write = 0;
    for (std::size_t read = 0; read < items.size(); ++read) {
        const int32_t item = items[read];
        if (item < 0) {
            if (read + 1 < items.size()) database.sequenceMarks.push_back(int32_t(write));
            items[write++] = -1;
        } else if (newId[std::size_t(item)] >= 0) {
            items[write++] = newId[std::size_t(item)];
        }
    }
    // The search keeps the items for the whole run. Growth slack never written takes no memory,
    // but the cells the dropped items filled do: they go when they are most of the array, at the
    // cost of one copy of what stays.
    const bool mostlyDropped = write < items.size() / 2;
    items.resize(write);
    if (mostlyDropped) items.shrink_to_fit();
    database.itemCount = int32_t(originalIds.size());
    linkRepeatedItems(database);
    return originalIds;
}

void linkRepeatedItems(CompactDatabase& database) {
    const CheckedVector<int32_t>& items = database.items;
    CheckedVector<int32_t>& nextSame = database.nextSame;
    // Walking backwards, the position seen last for an item is its next position.
    nextSame.assign(items.size(), kNoPosition);
    CheckedVector<int32_t> seenAt(std::size_t(database.itemCount), kNoPosition);
    CheckedVector<int32_t> seenItems;
    bool unique = true;
    for (std::size_t p = items.size(); p-- > 0;) {
        const int32_t x = items[p];
        if (x < 0) {
            for (const int32_t y : seenItems) seenAt[std::size_t(y)] = kNoPosition;
            seenItems.clear();
            continue;
        }
        if (seenAt[std::size_t(x)] == kNoPosition)
            seenItems.push_back(x);
        else
            unique = false;
        nextSame[p] = seenAt[std::size_t(x)];
        seenAt[std::size_t(x)] = int32_t(p);
    }
    database.uniqueItems = unique;
    if (unique) CheckedVector<int32_t>().swap(nextSame);
}

}  // namespace korvcore
