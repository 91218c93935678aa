#include "itemset_search.h"

#include "work_split.h"

#include <algorithm>
#include <cstdint>
#include <limits>
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
    itemSlots_.assign(itemCount + 1, ItemSlots{});
    items_ = itemSlots_.data() + 1;
    items_[-1].sequence.stamp = std::numeric_limits<int32_t>::min();
    items_[-1].itemset.stamp = std::numeric_limits<int32_t>::min();
    touchedSeq_.items.assign(itemCount + 1, 0);
    touchedItem_.items.assign(itemCount + 1, 0);
    frequentItems_.assign(2 * itemCount + 1, 0);
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
    ItemSlots* const items = items_;
    const int32_t size = int32_t(database_.values.size());
    int32_t start = 0;
    for (int32_t i = 0; i < size; ++i) {
        const int32_t x = data[i];
        if (x == -2) {
            start = i + 1;
        } else if (x >= 0 && items[x].sequence.stamp != start) {
            ExtensionSlot& slot = items[x].sequence;
            if (slot.count == 0) touchedSeq_.items[std::size_t(touchedSeq_.size++)] = x;
            slot.stamp = start;
            ++slot.count;
        }
    }

    ItemsetTask task;
    Level& level = task.level;
    int32_t* const touched = touchedSeq_.items.data();
    std::sort(touched, touched + touchedSeq_.size);
    int32_t total = 0;
    for (int32_t t = 0; t < touchedSeq_.size; ++t) {
        ExtensionSlot& slot = items[touched[t]].sequence;
        slot.stamp = -1;
        if (slot.count < minSupport_) continue;
        slot.index = level.childCount();
        level.childItem.push_back(touched[t]);
        level.childSupport.push_back(slot.count);
        level.childBegin.push_back(total);
        total += slot.count;
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
        if (x < 0) continue;
        ExtensionSlot& slot = items[x].sequence;
        if (slot.index == -1 || slot.stamp >= start) continue;
        slot.stamp = start;
        level.positions[std::size_t(childBegin[slot.index]++)] =
            projectionPosition(data, p, [items](int32_t y) { return items[y].sequence.index != -1; });
    }
    // childBegin[k] now stands at the end of child k; move each back to its start.
    for (int32_t k = 0; k < level.childCount(); ++k) childBegin[k] -= level.childSupport[std::size_t(k)];
    restoreItemSlots();
    level.candidateItems = level.childItem;  // every child is a sequence extension
    return task;
}

// Depth first (walkDepthFirst): pattern_ holds the pattern of the node being visited.
bool ItemsetSearch::mine(ItemsetTask& task, WorkSharing<ItemsetTask>& sharing) {
    pattern_ = task.pattern;
    int32_t baseDepth = 0;
    for (const int32_t value : pattern_) baseDepth += value >= 0 ? 1 : 0;
    prefixLength_.assign(std::size_t(baseDepth) + 1, 0);
    std::swap(levelAt(baseDepth), task.level);
    setCandidateLevel(levels_[std::size_t(baseDepth)], baseDepth);

    const bool going = korvcore::walkDepthFirst(
        levels_, baseDepth, sharing,
        [this](int32_t depth, int32_t child) {
            const Level& level = levels_[std::size_t(depth)];
            const ProjectedDatabase projection = level.projection(child);
            if (prefixLength_.size() <= std::size_t(depth)) prefixLength_.resize(std::size_t(depth) + 1);
            prefixLength_[std::size_t(depth)] = int32_t(pattern_.size());
            extendPattern(level, child);
            if (canPruneSubtree(projection)) return korvcore::Visit::Pruned;
            return growPattern(projection, level.childSupport[std::size_t(child)], depth) ? korvcore::Visit::Grown
                                                                                          : korvcore::Visit::Stopped;
        },
        [this](int32_t depth) {
            const Level& level = levels_[std::size_t(depth)];
            retractPattern(level, level.nextChild - 1);
            if (depth == 0) collector_.singleItemDone();
        },
        // Back to the level above; nothing is marked once the task's own level is left.
        [&](int32_t depth) { setCandidateLevel(levels_[std::size_t(depth)], depth > baseDepth ? depth - 1 : -1); },
        [&](int32_t depth) { shareWork(baseDepth, depth, sharing); });
    std::swap(levels_[std::size_t(baseDepth)], task.level);
    return going;
}

void ItemsetSearch::shareWork(int32_t baseDepth, int32_t depth, WorkSharing<ItemsetTask>& sharing) {
    int32_t j = 0;
    int32_t split = 0;
    if (!korvcore::findWorkToShare(levels_, baseDepth, depth, sharing.handOver(), j, split)) return;
    Level& from = levels_[std::size_t(j)];
    ItemsetTask task;
    // The pattern above level j's children is pattern_ as it stood before depth j extended it:
    // its first prefixLength_[j] values, the last one back to -1 if an itemset extension took it.
    const std::size_t prefix = j == depth ? pattern_.size() : std::size_t(prefixLength_[std::size_t(j)]);
    task.pattern.assign(pattern_.begin(), pattern_.begin() + std::ptrdiff_t(prefix));
    if (!task.pattern.empty()) task.pattern.back() = -1;
    Level& to = task.level;
    to.candidateItems = from.candidateItems;
    to.sequenceChildren = std::max(0, from.sequenceChildren - split);
    from.sequenceChildren = std::min(from.sequenceChildren, split);
    const int32_t begin = korvcore::moveChildren(from, to, split);
    to.positions.assign(from.positions.begin() + begin, from.positions.end());
    sharing.share(std::move(task));
}

void ItemsetSearch::extendPattern(const Level& level, int32_t child) {
    const int32_t item = level.childItem[std::size_t(child)];
    if (child < level.sequenceChildren) pattern_.push_back(item);
    else pattern_.back() = item;
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
bool ItemsetSearch::growPattern(ProjectedDatabase projection, int32_t support, int32_t depth) {
    // The last event of the pattern starts after its second-to-last -1.
    int32_t lastEventBegin = int32_t(pattern_.size()) - 2;
    while (lastEventBegin > 0 && pattern_[std::size_t(lastEventBegin) - 1] != -1) --lastEventBegin;
    const int32_t* lastEvent = pattern_.data() + lastEventBegin;

    countExtensions(projection, lastEvent, depth);

    // Frequent extensions in ascending id, each kind sorted on its own, back to back in
    // frequentItems_. Only the frequent ones are put in order; every touched slot is restored
    // afterwards anyway.
    ItemSlots* const items = items_;
    int32_t* const frequent = frequentItems_.data();
    const int32_t minSupport = minSupport_;
    auto takeFrequent = [&](const TouchedItems& touched, ExtensionSlot ItemSlots::*kind, int32_t* out) {
        const int32_t* const list = touched.items.data();
        const int32_t listSize = touched.size;
        int32_t frequentCount = 0;
        for (int32_t t = 0; t < listSize; ++t) {
            const int32_t x = list[t];
            out[frequentCount] = x;
            frequentCount += (items[x].*kind).count >= minSupport ? 1 : 0;
        }
        std::sort(out, out + frequentCount);
        return frequentCount;
    };
    const int32_t sequenceChildren = takeFrequent(touchedSeq_, &ItemSlots::sequence, frequent);
    const int32_t children =
        sequenceChildren + takeFrequent(touchedItem_, &ItemSlots::itemset, frequent + sequenceChildren);

    Level& level = levelAt(depth + 1);
    level.nextChild = 0;
    level.sequenceChildren = sequenceChildren;
    level.childItem.assign(frequent, frequent + children);
    level.childSupport.resize(std::size_t(children));
    level.childBegin.resize(std::size_t(children));
    int32_t* const childSupport = level.childSupport.data();
    int32_t* const childBegin = level.childBegin.data();
    // An extension with the pattern's own support makes the pattern not closed.
    int32_t equalSupport = 0;
    int32_t total = 0;
    for (int32_t child = 0; child < children; ++child) {
        const bool sequenceKind = child < sequenceChildren;
        ExtensionSlot& slot = sequenceKind ? items[frequent[child]].sequence : items[frequent[child]].itemset;
        slot.index = sequenceKind ? child : child - sequenceChildren;
        equalSupport += slot.count == support ? 1 : 0;
        childSupport[child] = slot.count;
        childBegin[child] = total;
        total += slot.count;
    }

    level.positions.resize(std::size_t(total));
    if (level.sequenceChildren > 0) fillSequenceChildren(projection, level);
    if (level.childCount() > level.sequenceChildren) fillItemsetChildren(projection, lastEvent, level);
    restoreItemSlots();

    level.candidateItems.assign(frequent, frequent + sequenceChildren);
    setCandidateLevel(level, depth + 1);

    if (equalSupport != 0 || hasBackwardExtension(projection, lastAppearance_.data())) return true;
    return collector_.collect(pattern_, depth, support);
}

void ItemsetSearch::setCandidateLevel(const Level& level, int32_t value) {
    for (const int32_t x : level.candidateItems) items_[x].sequence.candidateLevel = value;
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
void ItemsetSearch::countExtensions(ProjectedDatabase projection, const int32_t* lastEvent, int32_t candidateDepth) {
    const int32_t* data = data_;
    ItemSlots* const items = items_;
    // A non-candidate's sequence extension is counted into `ignored` instead (a select, not a
    // branch). Its count starts at 1, so it never joins the touched list, and grows by at most one
    // per entry.
    ExtensionSlot ignored;
    ignored.count = 1;
    int32_t* const touchedSeq = touchedSeq_.items.data();
    int32_t* const touchedItem = touchedItem_.items.data();
    int32_t seqTouched = touchedSeq_.size;
    int32_t itemTouched = touchedItem_.size;
    // Counts x once per entry (stamp q) without branches: an item whose count is still 0 is
    // touched for the first time (a counted item has count >= 1), and only then stays in the list.
    auto count = [](ExtensionSlot& slot, int32_t x, int32_t* touched, int32_t& touchedCount, int32_t stamp) {
        const int32_t before = slot.count;
        touched[touchedCount] = x;
        touchedCount += before == 0 ? 1 : 0;
        slot.count = before + (slot.stamp != stamp ? 1 : 0);
        slot.stamp = stamp;
    };
    lastAppearance_.resize(std::size_t(projection.size));
    for (int32_t e = 0; e < projection.size; ++e) {
        if (e + kPrefetchDistance < projection.size)
            prefetchPosition(data, projection.positions[e + kPrefetchDistance]);
        const int32_t q = projection.positions[e];
        int32_t appearance = q - 1;
        int32_t p = q;
        for (; data[p] >= 0; ++p) count(items[data[p]].itemset, data[p], touchedItem, itemTouched, q);
        for (++p; data[p] != -2; ++p) {
            // The forward match of the last event, inlined: items after the completing one join.
            // `awaited` is *cursor, held in a register: the counting stores could alias the pattern.
            const int32_t* cursor = lastEvent;
            int32_t awaited = *cursor;
            for (; data[p] >= 0; ++p) {
                const int32_t x = data[p];
                ExtensionSlot& sequenceSlot = items[x].sequence;
                count(sequenceSlot.candidateLevel >= candidateDepth ? sequenceSlot : ignored, x, touchedSeq, seqTouched, q);
                if (awaited == -1) {
                    count(items[x].itemset, x, touchedItem, itemTouched, q);
                } else if (x == awaited) {
                    awaited = *++cursor;
                    if (awaited == -1) appearance = p;
                }
            }
        }
        lastAppearance_[std::size_t(e)] = appearance;
    }
    touchedSeq_.size = seqTouched;
    touchedItem_.size = itemTouched;
}

// Each sequence-extension child receives, per supporting sequence, the first occurrence of its
// item after the event in which the pattern's first instance ends.
void ItemsetSearch::fillSequenceChildren(ProjectedDatabase projection, Level& level) {
    const int32_t* data = data_;
    ItemSlots* const items = items_;
    auto isChild = [items](int32_t y) { return items[y].sequence.index != -1; };
    int32_t* positions = level.positions.data();
    int32_t* childBegin = level.childBegin.data();
    for (int32_t e = 0; e < projection.size; ++e) {
        if (e + kPrefetchDistance < projection.size)
            prefetchPosition(data, projection.positions[e + kPrefetchDistance]);
        const int32_t q = projection.positions[e];
        const int32_t placed = placedStamp(q);
        int32_t p = q;
        while (data[p] >= 0) ++p;
        for (; data[p] != -2; ++p) {
            // The -1 markers land on items[-1], whose index is -1.
            ExtensionSlot& slot = items[data[p]].sequence;
            if (slot.index == -1 || slot.stamp == placed) continue;
            slot.stamp = placed;
            positions[childBegin[slot.index]++] = projectionPosition(data, p, isChild);
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
    ItemSlots* const items = items_;
    auto isChild = [items](int32_t y) { return items[y].itemset.index != -1; };
    int32_t* positions = level.positions.data();
    int32_t* childBegin = level.childBegin.data() + level.sequenceChildren;
    for (int32_t e = 0; e < projection.size; ++e) {
        const int32_t q = projection.positions[e];
        const int32_t placed = placedStamp(q);
        int32_t p = q;
        for (; data[p] >= 0; ++p) {
            ExtensionSlot& slot = items[data[p]].itemset;
            if (slot.index == -1 || slot.stamp == placed) continue;
            slot.stamp = placed;
            positions[childBegin[slot.index]++] = projectionPosition(data, p, isChild);
        }
        for (++p; data[p] != -2; ++p) {
            if (matchEvent(data, p, lastEvent)) {
                for (; data[p] >= 0; ++p) {
                    ExtensionSlot& slot = items[data[p]].itemset;
                    if (slot.index == -1 || slot.stamp == placed) continue;
                    slot.stamp = placed;
                    positions[childBegin[slot.index]++] = p + 1;
                }
            }
            while (data[p] >= 0) ++p;
        }
    }
    const int32_t itemsetChildren = level.childCount() - level.sequenceChildren;
    for (int32_t k = 0; k < itemsetChildren; ++k)
        childBegin[k] -= level.childSupport[std::size_t(level.sequenceChildren + k)];
}

// Both kinds of a touched item go back to rest at once: the kind that was not touched is at rest
// already, so writing both is harmless and costs the same one line. The candidate level stays.
void ItemsetSearch::restoreItemSlots() {
    ItemSlots* const items = items_;
    for (const TouchedItems* touched : {&touchedSeq_, &touchedItem_}) {
        const int32_t* const list = touched->items.data();
        const int32_t listSize = touched->size;
        for (int32_t t = 0; t < listSize; ++t) {
            ItemSlots& slots = items[list[t]];
            slots.sequence = ExtensionSlot{.candidateLevel = slots.sequence.candidateLevel};
            slots.itemset = ExtensionSlot{};
        }
    }
    touchedSeq_.size = 0;
    touchedItem_.size = 0;
}

}  // namespace korvplus
