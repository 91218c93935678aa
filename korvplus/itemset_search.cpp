#include "itemset_search.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace korvplus {

ItemsetSearch::ItemsetSearch(const SearchDatabase& database, const SequenceStarts& starts, int32_t minSupport,
                             ClosedCollector& collector)
    : database_(database),
      data_(database.values.data()),
      sequenceStarts_(starts),
      minSupport_(std::max<int32_t>(minSupport, 1)),
      collector_(collector) {
    const std::size_t itemCount = std::size_t(database_.itemCount());
    seqExtCount_.assign(itemCount, 0);
    seqExtStamp_.assign(itemCount, -1);
    seqExtIndex_.assign(itemCount, -1);
    itemExtCount_.assign(itemCount, 0);
    itemExtStamp_.assign(itemCount, -1);
    itemExtIndex_.assign(itemCount, -1);
}

SequenceStarts::SequenceStarts(const std::vector<int32_t>& values) {
    const int32_t size = int32_t(values.size());
    for (int32_t i = 0; i < size; ++i) {
        if ((i & ((1 << kBlockBits) - 1)) == 0) firstEndOfBlock.push_back(int32_t(sequenceEnds.size()));
        if (values[std::size_t(i)] == -2) sequenceEnds.push_back(i);
    }
}

ItemsetSearch::Level& ItemsetSearch::levelAt(int32_t depth) {
    while (int32_t(levels_.size()) <= depth) levels_.emplace_back();
    return levels_[std::size_t(depth)];
}

// Single-item supports (once per sequence, stamped by the sequence start), then the projected
// database of every frequent item, all in one more pass.
ItemsetTask ItemsetSearch::singleItemTask() {
    const int32_t* data = data_;
    const int32_t size = int32_t(database_.values.size());
    int32_t start = 0;
    for (int32_t i = 0; i < size; ++i) {
        const int32_t x = data[i];
        if (x == -2) {
            start = i + 1;
        } else if (x >= 0 && seqExtStamp_[x] != start) {
            if (seqExtCount_[x] == 0) touchedSeq_.push_back(x);
            seqExtStamp_[x] = start;
            ++seqExtCount_[x];
        }
    }

    Level& level = levelAt(0);
    level.childItem.clear();
    level.childSupport.clear();
    level.childBegin.clear();
    level.nextChild = 0;
    std::sort(touchedSeq_.begin(), touchedSeq_.end());
    int32_t total = 0;
    for (const int32_t x : touchedSeq_) {
        seqExtStamp_[x] = -1;
        if (seqExtCount_[x] < minSupport_) continue;
        seqExtIndex_[x] = level.childCount();
        level.childItem.push_back(x);
        level.childSupport.push_back(seqExtCount_[x]);
        level.childBegin.push_back(total);
        total += seqExtCount_[x];
    }
    level.sequenceChildren = level.childCount();

    level.positions.resize(std::size_t(total));
    int32_t* childBegin = level.childBegin.data();
    start = 0;
    for (int32_t p = 0; p < size; ++p) {
        const int32_t x = data[p];
        if (x == -2) {
            start = p + 1;
            continue;
        }
        if (x < 0 || seqExtIndex_[x] == -1 || seqExtStamp_[x] >= start) continue;
        seqExtStamp_[x] = start;
        level.positions[std::size_t(childBegin[seqExtIndex_[x]]++)] = projectionPosition(data, p, seqExtIndex_.data());
    }
    // childBegin[k] now stands at the end of child k; move each back to its start.
    for (int32_t k = 0; k < level.childCount(); ++k) childBegin[k] -= level.childSupport[std::size_t(k)];
    restoreExtensionArrays();
    ItemsetTask task;
    std::swap(task.level, level);
    return task;
}

// Depth first with an explicit stack of levels, so that very long sequences cannot exhaust the
// call stack: levels_[d] holds the children visited at depth d, pattern_ the pattern of the node
// being visited.
void ItemsetSearch::mine(ItemsetTask& task, WorkSharing<ItemsetTask>& sharing) {
    pattern_ = task.pattern;
    int32_t baseDepth = 0;
    for (const int32_t value : pattern_) baseDepth += value >= 0 ? 1 : 0;
    prefixLength_.assign(std::size_t(baseDepth) + 1, 0);
    std::swap(levelAt(baseDepth), task.level);

    int32_t depth = baseDepth;
    while (depth >= baseDepth) {
        Level& level = levels_[std::size_t(depth)];
        if (level.nextChild == level.childCount()) {
            --depth;
            if (depth >= baseDepth) {
                const Level& parent = levels_[std::size_t(depth)];
                retractPattern(parent, parent.nextChild - 1);
                if (depth == 0) collector_.singleItemDone();
            }
            continue;
        }
        if (sharing.wantsWork()) {
            shareWork(baseDepth, depth, sharing);
            if (level.nextChild == level.childCount()) continue;
        }
        const int32_t child = level.nextChild++;
        const ProjectedDatabase projection = level.projection(child);
        if (prefixLength_.size() <= std::size_t(depth)) prefixLength_.resize(std::size_t(depth) + 1);
        prefixLength_[std::size_t(depth)] = int32_t(pattern_.size());
        extendPattern(level, child);
        if (canPruneSubtree(projection)) {
            retractPattern(level, child);
            if (depth == 0) collector_.singleItemDone();
            continue;
        }
        growPattern(projection, level.childSupport[std::size_t(child)], depth);
        if (levels_[std::size_t(depth) + 1].childCount() == 0) {
            retractPattern(level, child);
            if (depth == 0) collector_.singleItemDone();
            continue;
        }
        ++depth;
    }
    std::swap(levels_[std::size_t(baseDepth)], task.level);
}

void ItemsetSearch::shareWork(int32_t baseDepth, int32_t depth, WorkSharing<ItemsetTask>& sharing) {
    int32_t j = 0;
    int32_t split = 0;
    if (!findWorkToShare(levels_, baseDepth, depth, j, split)) return;
    Level& from = levels_[std::size_t(j)];
    ItemsetTask task;
    // The pattern above level j's children is pattern_ as it stood before depth j extended it:
    // its first prefixLength_[j] values, the last one back to -1 if an itemset extension took it.
    const std::size_t prefix = j == depth ? pattern_.size() : std::size_t(prefixLength_[std::size_t(j)]);
    task.pattern.assign(pattern_.begin(), pattern_.begin() + std::ptrdiff_t(prefix));
    if (!task.pattern.empty()) task.pattern.back() = -1;
    Level& to = task.level;
    to.sequenceChildren = std::max(0, from.sequenceChildren - split);
    from.sequenceChildren = std::min(from.sequenceChildren, split);
    const int32_t begin = moveChildren(from, to, split);
    to.positions.assign(from.positions.begin() + begin, from.positions.end());
    sharing.share(std::move(task));
}

void ItemsetSearch::extendPattern(const Level& level, int32_t child) {
    const int32_t item = level.childItem[std::size_t(child)];
    if (child < level.sequenceChildren) {
        pattern_.push_back(item);
    } else {
        pattern_.back() = item;
    }
    pattern_.push_back(-1);
}

void ItemsetSearch::retractPattern(const Level& level, int32_t child) {
    pattern_.pop_back();
    if (child < level.sequenceChildren) pattern_.pop_back();
    else pattern_.back() = -1;
}

// One node of the search: counts the pattern's forward extensions, builds its frequent children
// into levels_[depth + 1], and writes the pattern when it is closed: no forward extension with its
// own support and no backward extension. The backward check is only run when the forward test
// leaves the verdict open; no child has been visited yet, so the pattern still precedes them.
void ItemsetSearch::growPattern(ProjectedDatabase projection, int32_t support, int32_t depth) {
    // The last event of the pattern starts after its second-to-last -1.
    int32_t lastEventBegin = int32_t(pattern_.size()) - 2;
    while (lastEventBegin > 0 && pattern_[std::size_t(lastEventBegin) - 1] != -1) --lastEventBegin;
    const int32_t* lastEvent = pattern_.data() + lastEventBegin;

    countExtensions(projection, lastEvent);

    Level& level = levelAt(depth + 1);
    level.childItem.clear();
    level.childSupport.clear();
    level.childBegin.clear();
    level.nextChild = 0;

    // Frequent extensions in ascending id; an extension with the pattern's own support makes the
    // pattern not closed.
    int32_t equalSupport = 0;
    int32_t total = 0;
    // Only the frequent ones are put in order; every touched slot is restored afterwards anyway.
    auto takeFrequent = [&](const std::vector<int32_t>& touched, const std::vector<int32_t>& count,
                            std::vector<int32_t>& index) {
        frequentItems_.clear();
        for (const int32_t x : touched)
            if (count[x] >= minSupport_) frequentItems_.push_back(x);
        std::sort(frequentItems_.begin(), frequentItems_.end());
        int32_t number = 0;
        for (const int32_t x : frequentItems_) {
            index[x] = number++;
            if (count[x] == support) ++equalSupport;
            level.childItem.push_back(x);
            level.childSupport.push_back(count[x]);
            level.childBegin.push_back(total);
            total += count[x];
        }
    };
    takeFrequent(touchedSeq_, seqExtCount_, seqExtIndex_);
    level.sequenceChildren = level.childCount();
    takeFrequent(touchedItem_, itemExtCount_, itemExtIndex_);

    level.positions.resize(std::size_t(total));
    if (level.sequenceChildren > 0) fillSequenceChildren(projection, level);
    if (level.childCount() > level.sequenceChildren) fillItemsetChildren(projection, lastEvent, level);
    restoreExtensionArrays();

    if (equalSupport == 0 && hasBackwardExtension(projection) == 0) collector_.collect(pattern_, depth);
}

// One pass over each supporting sequence after the pattern's first instance counts both kinds of
// extension, each item at most once per sequence:
//   sequence extensions  every item of the events after the one in which the first instance ends;
//   itemset extensions   the items after the position in that same event, and in every later
//                        event that contains the whole last event, the items after the item that
//                        completes it.
// The same matches give, per entry, where the last event of the sequence that contains the
// pattern's last event completes it (the first instance's end when no later event does); the
// backward check of this node starts there.
void ItemsetSearch::countExtensions(ProjectedDatabase projection, const int32_t* lastEvent) {
    const int32_t* data = data_;
    int32_t* seqStamp = seqExtStamp_.data();
    int32_t* seqCount = seqExtCount_.data();
    int32_t* itemStamp = itemExtStamp_.data();
    int32_t* itemCount = itemExtCount_.data();
    auto countSequence = [&](int32_t x, int32_t q) {
        if (seqStamp[x] == q) return;
        if (seqCount[x]++ == 0) touchedSeq_.push_back(x);
        seqStamp[x] = q;
    };
    auto countItemset = [&](int32_t x, int32_t q) {
        if (itemStamp[x] == q) return;
        if (itemCount[x]++ == 0) touchedItem_.push_back(x);
        itemStamp[x] = q;
    };
    lastAppearance_.resize(std::size_t(projection.size));
    if (database_.singleItemEvents) {
        // Every event is one item and every position stands on the -1 after the matched item:
        // the later events' items are at q + 1, q + 3, ...; no itemset extension exists.
        const int32_t last = lastEvent[0];
        for (int32_t e = 0; e < projection.size; ++e) {
            if (e + kPrefetchDistance < projection.size)
                prefetchPosition(data, projection.positions[e + kPrefetchDistance]);
            const int32_t q = projection.positions[e];
            int32_t appearance = q - 1;
            for (int32_t p = q + 1; data[p] != -2; p += 2) {
                const int32_t x = data[p];
                countSequence(x, q);
                if (x == last) appearance = p;
            }
            lastAppearance_[std::size_t(e)] = appearance;
        }
        return;
    }
    for (int32_t e = 0; e < projection.size; ++e) {
        if (e + kPrefetchDistance < projection.size)
            prefetchPosition(data, projection.positions[e + kPrefetchDistance]);
        const int32_t q = projection.positions[e];
        int32_t appearance = q - 1;
        int32_t p = q;
        for (; data[p] >= 0; ++p) countItemset(data[p], q);
        for (++p; data[p] != -2; ++p) {
            // The forward match of the last event, inlined: items after the completing one join.
            const int32_t* cursor = lastEvent;
            for (; data[p] >= 0; ++p) {
                const int32_t x = data[p];
                countSequence(x, q);
                if (*cursor == -1) countItemset(x, q);
                else if (x == *cursor && *++cursor == -1) appearance = p;
            }
        }
        lastAppearance_[std::size_t(e)] = appearance;
    }
}

// Each sequence-extension child receives, per supporting sequence, the first occurrence of its
// item after the event in which the pattern's first instance ends.
void ItemsetSearch::fillSequenceChildren(ProjectedDatabase projection, Level& level) {
    const int32_t* data = data_;
    for (const int32_t x : touchedSeq_) seqExtStamp_[x] = -1;
    int32_t* positions = level.positions.data();
    int32_t* childBegin = level.childBegin.data();
    for (int32_t e = 0; e < projection.size; ++e) {
        if (e + kPrefetchDistance < projection.size)
            prefetchPosition(data, projection.positions[e + kPrefetchDistance]);
        const int32_t q = projection.positions[e];
        if (database_.singleItemEvents) {
            // Items at q + 1, q + 3, ...; each match is followed by its event's -1.
            for (int32_t p = q + 1; data[p] != -2; p += 2) {
                const int32_t x = data[p];
                const int32_t child = seqExtIndex_[x];
                if (child == -1 || seqExtStamp_[x] >= q) continue;
                seqExtStamp_[x] = q;
                positions[childBegin[child]++] = p + 1;
            }
            continue;
        }
        int32_t p = q;
        while (data[p] >= 0) ++p;
        for (; data[p] != -2; ++p) {
            const int32_t x = data[p];
            if (x < 0) continue;
            const int32_t child = seqExtIndex_[x];
            if (child == -1 || seqExtStamp_[x] >= q) continue;
            seqExtStamp_[x] = q;
            positions[childBegin[child]++] = projectionPosition(data, p, seqExtIndex_.data());
        }
    }
    // childBegin[k] now stands at the end of child k; move each back to its start.
    for (int32_t k = 0; k < level.sequenceChildren; ++k) childBegin[k] -= level.childSupport[std::size_t(k)];
}

// Each itemset-extension child receives the first occurrence of its item as an itemset
// extension: in the pattern's own event after the position, else in the earliest later event that
// contains the whole last event followed by the item.
void ItemsetSearch::fillItemsetChildren(ProjectedDatabase projection, const int32_t* lastEvent, Level& level) {
    const int32_t* data = data_;
    for (const int32_t y : touchedItem_) itemExtStamp_[y] = -1;
    int32_t* positions = level.positions.data();
    int32_t* childBegin = level.childBegin.data() + level.sequenceChildren;
    for (int32_t e = 0; e < projection.size; ++e) {
        const int32_t q = projection.positions[e];
        int32_t p = q;
        for (; data[p] >= 0; ++p) {
            const int32_t y = data[p];
            const int32_t child = itemExtIndex_[y];
            if (child == -1 || itemExtStamp_[y] >= q) continue;
            itemExtStamp_[y] = q;
            positions[childBegin[child]++] = projectionPosition(data, p, itemExtIndex_.data());
        }
        for (++p; data[p] != -2; ++p) {
            if (matchEvent(data, p, lastEvent)) {
                for (; data[p] >= 0; ++p) {
                    const int32_t y = data[p];
                    const int32_t child = itemExtIndex_[y];
                    if (child == -1 || itemExtStamp_[y] >= q) continue;
                    itemExtStamp_[y] = q;
                    positions[childBegin[child]++] = p + 1;
                }
            }
            while (data[p] >= 0) ++p;
        }
    }
    const int32_t itemsetChildren = level.childCount() - level.sequenceChildren;
    for (int32_t k = 0; k < itemsetChildren; ++k)
        childBegin[k] -= level.childSupport[std::size_t(level.sequenceChildren + k)];
}

void ItemsetSearch::restoreExtensionArrays() {
    for (const int32_t x : touchedSeq_) {
        seqExtCount_[x] = 0;
        seqExtStamp_[x] = -1;
        seqExtIndex_[x] = -1;
    }
    for (const int32_t y : touchedItem_) {
        itemExtCount_[y] = 0;
        itemExtStamp_[y] = -1;
        itemExtIndex_[y] = -1;
    }
    touchedSeq_.clear();
    touchedItem_.clear();
}

}  // namespace korvplus
