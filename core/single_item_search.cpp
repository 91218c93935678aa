#include "single_item_search.h"

#include <algorithm>
#include <type_traits>

#include "work_split.h"


namespace korvcore {

SingleItemSearch::SingleItemSearch(const CompactDatabase& database, int32_t minSupport,
                                       ClosedCollector& collector)
    : items_(database.items.data()),
      nextSame_(database.nextSame.data()),
      database_(database),
      uniqueItems_(database.uniqueItems),
      minSupport_(std::max<int32_t>(minSupport, 1)),
      collector_(collector) {
    const std::size_t itemCount = std::size_t(database.itemCount);
    count_.assign(itemCount, 0);
    childIndex_.assign(itemCount, -1);
    tally_.assign(itemCount, 0);
    touched_.assign(itemCount, 0);
    frequent_.resize(itemCount);
}

ItemLevel& SingleItemSearch::levelAt(int32_t depth) {
    while (int32_t(levels_.size()) <= depth) levels_.emplace_back();
    return levels_[std::size_t(depth)];
}

NodeRecords& SingleItemSearch::ownRecords(int32_t depth) {
    const std::size_t slot = std::size_t(depth) + 1;
    if (ownRecords_.size() <= slot) {
        ownRecords_.resize(slot + 1);
        ownRecordsShared_.resize(slot + 1, 0);
    }
    if (!ownRecords_[slot] || ownRecordsShared_[slot]) {
        ownRecords_[slot] = std::make_shared<NodeRecords>();
        ownRecordsShared_[slot] = 0;
    }
    if (recordsAt_.size() <= slot) recordsAt_.resize(slot + 1);
    recordsAt_[slot] = ownRecords_[slot].get();
    return *ownRecords_[slot];
}

ItemTask SingleItemSearch::singleItemTask(NodeRecords& root) {
    buildSingleItems(root);
    ItemTask task;
    task.rootRecords = &root;
    std::swap(task.level, levels_[0]);
    return task;
}

SingleItemSearch::FrequentTotals SingleItemSearch::takeFrequent(ItemLevel& level, int32_t support,
                                                                   int32_t frequentCount, bool ascending) {
    level.childItem.clear();
    level.childSupport.clear();
    level.childBegin.clear();
    level.nextChild = 0;
    int32_t* frequent = frequent_.data();
    int32_t* count = count_.data();
    if (!ascending) std::sort(frequent, frequent + frequentCount);
    int32_t equalSupport = 0;
    int32_t total = 0;
    for (int32_t i = 0; i < frequentCount; ++i) {
        const int32_t x = frequent[i];
        const int32_t c = count[x];
        childIndex_[std::size_t(x)] = i;
        if (c == support) ++equalSupport;
        level.childItem.push_back(x);
        level.childSupport.push_back(c);
        level.childBegin.push_back(total);
        total += c;
    }
    const int32_t* touched = touched_.data();
    for (int32_t t = 0, touchedCount = touchedCount_; t < touchedCount; ++t) count[touched[t]] = 0;
    touchedCount_ = 0;
    resizeKeepingLittleSlack(level.link, std::size_t(total));
    return {equalSupport, total};
}

void SingleItemSearch::restoreItemSlots(ItemLevel& level) {
    // childBegin[c] was moved on to the end of child c while filling; move each back to its start.
    for (int32_t c = 0; c < level.childCount(); ++c) {
        level.childBegin[std::size_t(c)] -= level.childSupport[std::size_t(c)];
        childIndex_[std::size_t(level.childItem[std::size_t(c)])] = -1;
    }
}

namespace {

// Keeps the records of a node's frequent extensions and adds the child entry that starts at each;
// without positions, the item and the links alone. Raw pointers, so that they stay in registers
// across the stores of the filling loops.
template <bool UniqueItems>
struct RecordKeeper {
    static constexpr int32_t kRecordCells = RecordCells<UniqueItems>::kRecordCells;
    const int32_t* childIndex;
    int32_t* childBegin;  // moved on to the next free entry of each child
    EntryLink* entryLink;
    int32_t* cells;
    int32_t* ends;
    int32_t* repeated;
    int32_t at = 0;
    int32_t repeatedCount = 0;

    RecordKeeper(const CheckedVector<int32_t>& childIndexOf, ItemLevel& level, NodeRecords& own)
        : childIndex(childIndexOf.data()),
          childBegin(level.childBegin.data()),
          entryLink(level.link.data()),
          cells(own.cells.data()),
          ends(own.ends.data()),
          repeated(own.repeated.data()) {}

    // A record of item x for entry k of the node; x must be a child. `repeated` has a cell past
    // the last record, so that recording a repeated item needs no branch.
    void keep(int32_t k, int32_t x, int32_t f, int32_t l) {
        const int32_t entry = childBegin[childIndex[x]]++;
        entryLink[entry] = {k, at};
        int32_t* record = cells + std::ptrdiff_t(at) * kRecordCells;
        record[kItemCell] = x;
        if constexpr (!UniqueItems) {
            repeated[repeatedCount] = at;
            repeatedCount += int32_t(f != l);
            record[kFirstCell] = f;
            record[kLastCell] = l;
        }
        ++at;
    }

    // Entry k's records are all kept.
    void endEntry(int32_t k) {
        int32_t* entry = ends + std::ptrdiff_t(k) * RecordCells<UniqueItems>::kEntryCells;
        entry[kEndCell] = at;
        if constexpr (!UniqueItems) entry[kRepeatedEndCell] = repeatedCount;
    }
};

}  // namespace

// One pass over every sequence records, per item, its first and last position there and counts
// the item once; the frequent ones become the single items, with the empty pattern's records.
void SingleItemSearch::buildSingleItems(NodeRecords& root) {
    const int32_t* items = items_;
    int32_t* count = count_.data();
    CheckedVector<int32_t> stamps(std::size_t(database_.itemCount), -1);
    int32_t* stamp = stamps.data();
    const CheckedVector<int32_t>& marks = database_.sequenceMarks;
    const int32_t sequences = int32_t(marks.size());
    for (int32_t s = 0; s < sequences; ++s) {
        for (int32_t p = marks[std::size_t(s)] + 1; items[p] >= 0; ++p) {
            const int32_t x = items[p];
            if (stamp[x] == s) continue;
            stamp[x] = s;
            if (count[x]++ == 0) touched_[std::size_t(touchedCount_++)] = x;
        }
    }

    int32_t frequentCount = 0;
    for (int32_t t = 0; t < touchedCount_; ++t)
        if (count[touched_[std::size_t(t)]] >= minSupport_) frequent_[std::size_t(frequentCount++)] = touched_[std::size_t(t)];
    ItemLevel& level = levelAt(0);
    const int32_t total = takeFrequent(level, -1, frequentCount, false).entries;
    root.resize(total, sequences, !uniqueItems_);
    root.childItems.assign(level.childItem.begin(), level.childItem.end());
    if (uniqueItems_)
        keepSingleItemRecords(RecordKeeper<true>(childIndex_, level, root), root, stamp);
    else
        keepSingleItemRecords(RecordKeeper<false>(childIndex_, level, root), root, stamp);
    restoreItemSlots(level);
}

// The second pass records the frequent items of each sequence, in order of first position,
// stamping them with -2 - s (pass one's stamps are sequence numbers, the rest value is -1).
template <class Keeper>
void SingleItemSearch::keepSingleItemRecords(Keeper keeper, NodeRecords& root, int32_t* stamp) {
    const int32_t* items = items_;
    // Where each item's record of the current sequence is, valid while its stamp names it.
    CheckedVector<int32_t> recordOfItem(std::size_t(database_.itemCount), 0);
    int32_t* recordOf = recordOfItem.data();
    const CheckedVector<int32_t>& marks = database_.sequenceMarks;
    const int32_t sequences = int32_t(marks.size());
    for (int32_t s = 0; s < sequences; ++s) {
        repeated_.clear();
        for (int32_t p = marks[std::size_t(s)] + 1; items[p] >= 0; ++p) {
            const int32_t x = items[p];
            if (childIndex_[std::size_t(x)] < 0) continue;
            if (stamp[x] == -2 - s) {
                repeated_[std::size_t(recordOf[x])].last = p;
                continue;
            }
            stamp[x] = -2 - s;
            recordOf[x] = int32_t(repeated_.size());
            repeated_.push_back({x, p, p});
        }
        for (const ItemRecord& record : repeated_) keeper.keep(s, record.item, record.first, record.last);
        keeper.endEntry(s);
    }
    if (!uniqueItems_) {
        // Sized for every record; the root's records are kept for the whole run, so the rest goes.
        root.repeated.resize(std::size_t(keeper.repeatedCount));
        root.repeated.shrink_to_fit();
    }
}

// An entry of the node at position f, whose parent entry's records lie in [begin, end) with its
// own item's record at `own`, has as candidates: every record after `own` (they start after f),
// and those up to `own` (its own item included) whose item occurs again after f, which are among
// the parent entry's repeated records. The first pass counts them; the second keeps the frequent
// ones in ascending first position, moving a repeated item's first position past f along nextSame.
// Without repeated items there are no repeated records, and records keep no positions.
template <bool UniqueItems>
int32_t SingleItemSearch::buildChildren(ItemNodeEntries node, int32_t depth) {
    const NodeRecords& parentRecords = *recordsAt_[std::size_t(depth)];
    const RecordCells<UniqueItems> parent(parentRecords);
    int32_t* count = count_.data();
    int32_t* touched = touched_.data();
    int32_t* frequent = frequent_.data();
    const int32_t minSupport = minSupport_;
    // Counting marks each item the first time it is seen, a test that mispredicts once per item.
    // When the parent's records hold no more distinct items than the node has entries, they are
    // all marked up front instead, at a cost within the node's own. Otherwise an item is noted
    // frequent when its count reaches minSupport, so that no pass over the touched items looks.
    const CheckedVector<int32_t>& candidates = parentRecords.childItems;
    const bool markAll = candidates.size() <= std::size_t(node.size);
    int32_t touchedCount = 0;
    int32_t frequentCount = 0;
    auto countLoop = [&](auto countItem) {
        for (int32_t k = 0; k < node.size; ++k) {
            const int32_t p = node.link[k].parent;
            const int32_t own = node.link[k].record;
            if constexpr (!UniqueItems) {
                const int32_t f = parent.first(own);
                const int32_t stop = parent.repeatedEnd(p);
                for (int32_t r = parent.repeatedBegin(p); r < stop && parent.repeated(r) <= own; ++r)
                    if (parent.last(parent.repeated(r)) > f) countItem(parent.item(parent.repeated(r)));
            }
            for (int32_t q = own + 1, end = parent.end(p); q < end; ++q) countItem(parent.item(q));
        }
    };
    if (markAll) {
        std::copy(candidates.begin(), candidates.end(), touched);
        touchedCount = int32_t(candidates.size());
        countLoop([count](int32_t x) { ++count[x]; });
        // Few candidates for many counts (dense data): one look at each, already ascending.
        for (int32_t t = 0; t < touchedCount; ++t)
            if (count[touched[t]] >= minSupport) frequent[frequentCount++] = touched[t];
    } else {
        countLoop([&](int32_t x) {
            const int32_t c = count[x]++;
            if (c == 0) touched[touchedCount++] = x;
            if (c + 1 == minSupport) frequent[frequentCount++] = x;
        });
    }
    touchedCount_ = touchedCount;

    ItemLevel& level = levelAt(depth + 1);
    const FrequentTotals totals = takeFrequent(level, node.size, frequentCount, markAll);
    // A node without children (most nodes of a wide, shallow search) needs no records: only its
    // children's counting would read them.
    if (!level.childItem.empty()) {
        NodeRecords& own = ownRecords(depth);
        own.resize(totals.entries, node.size, !UniqueItems);
        own.childItems.assign(level.childItem.begin(), level.childItem.end());
        RecordKeeper<UniqueItems> keeper(childIndex_, level, own);
        const std::size_t parentRecordCount = parentRecords.cells.size() / std::size_t(parent.kRecordCells);
        if (selected_.size() < parentRecordCount) selected_.resize(parentRecordCount);
        int32_t* selected = selected_.data();
        const int32_t* childIndex = childIndex_.data();
        const int32_t* nextSame = nextSame_;
        for (int32_t k = 0; k < node.size; ++k) {
            const int32_t p = node.link[k].parent;
            const int32_t ownRecord = node.link[k].record;
            const int32_t end = parent.end(p);
            int32_t q = ownRecord + 1;
            if constexpr (!UniqueItems) {
                const int32_t f = parent.first(ownRecord);
                const int32_t repeatedBegin = parent.repeatedBegin(p);
                const int32_t repeatedStop = parent.repeatedEnd(p);
                if (repeatedBegin < repeatedStop && parent.repeated(repeatedBegin) <= ownRecord) {
                    repeated_.clear();
                    for (int32_t r = repeatedBegin; r < repeatedStop && parent.repeated(r) <= ownRecord; ++r) {
                        const int32_t at = parent.repeated(r);
                        const int32_t x = parent.item(at);
                        if (parent.last(at) <= f || childIndex[x] < 0) continue;
                        int32_t first = parent.first(at);
                        while (first <= f) first = nextSame[first];
                        repeated_.push_back({x, first, parent.last(at)});
                    }
                    std::sort(repeated_.begin(), repeated_.end(),
                              [](const ItemRecord& a, const ItemRecord& b) { return a.first < b.first; });
                    for (const ItemRecord& record : repeated_) {
                        for (; q < end && parent.first(q) < record.first; ++q)
                            if (childIndex[parent.item(q)] >= 0)
                                keeper.keep(k, parent.item(q), parent.first(q), parent.last(q));
                        keeper.keep(k, record.item, record.first, record.last);
                    }
                }
            }
            // Most records are dropped, in no predictable order: select the kept ones first
            // without a branch, then keep them.
            int32_t selectedCount = 0;
            for (; q < end; ++q) {
                selected[selectedCount] = q;
                selectedCount += int32_t(childIndex[parent.item(q)] >= 0);
            }
            for (int32_t i = 0; i < selectedCount; ++i) {
                const int32_t s = selected[i];
                if constexpr (UniqueItems)
                    keeper.keep(k, parent.item(s), 0, 0);
                else
                    keeper.keep(k, parent.item(s), parent.first(s), parent.last(s));
            }
            keeper.endEntry(k);
        }
        if constexpr (!UniqueItems) own.repeated.resize(std::size_t(keeper.repeatedCount));
    }
    restoreItemSlots(level);
    return totals.equalSupport;
}

bool SingleItemSearch::growNode(ItemNodeEntries node, int32_t depth, const PruningMemo& memo) {
    const int32_t equalSupport =
        uniqueItems_ ? buildChildren<true>(node, depth) : buildChildren<false>(node, depth);
    if (equalSupport != 0) return true;
    if (!uniqueItems_ && !backwardClosed(node, depth, memo)) return true;
    outputPattern_.clear();
    for (const int32_t x : pattern_) {
        outputPattern_.push_back(x);
        outputPattern_.push_back(-1);
    }
    return collector_.collect(outputPattern_, depth, node.size);
}

void SingleItemSearch::shareWork(int32_t baseDepth, int32_t depth, WorkSharing<ItemTask>& sharing) {
    int32_t j = 0;
    int32_t split = 0;
    if (!findWorkToShare(levels_, baseDepth, depth, sharing.handOver(), j, split)) return;
    ItemLevel& from = levels_[std::size_t(j)];
    ItemTask task;
    task.pattern.assign(pattern_.begin(), pattern_.begin() + j);
    task.rootRecords = recordsAt_[0];
    for (int32_t d = 0; d < j; ++d) {
        const ItemNodeEntries& node = path_[std::size_t(d)];
        task.pathLink.emplace_back(node.link, node.link + node.size);
        if (d < baseDepth) {
            task.pathRecords.push_back(heldRecords_[std::size_t(d)]);
        } else {
            task.pathRecords.push_back(ownRecords_[std::size_t(d) + 1]);
            ownRecordsShared_[std::size_t(d) + 1] = 1;
        }
    }
    // The task takes the level's arrays whole and starts at child `split`, so that a split costs
    // the same however many children it hands over; its children keep their begins. This search
    // keeps children keepFrom .. split - 1: the one it is exploring (above the current depth) or
    // starts next (at it), and the unstarted ones before the split, with a copy of their entries.
    ItemLevel& to = task.level;
    const int32_t keepFrom = j < depth ? from.nextChild - 1 : from.nextChild;
    to.childItem = std::move(from.childItem);
    to.childSupport = std::move(from.childSupport);
    to.childBegin = std::move(from.childBegin);
    to.nextChild = split;
    const int32_t keptBegin = to.childBegin[std::size_t(keepFrom)];
    const int32_t keptEnd = to.childBegin[std::size_t(split) - 1] + to.childSupport[std::size_t(split) - 1];
    from.childItem.assign(to.childItem.begin() + keepFrom, to.childItem.begin() + split);
    from.childSupport.assign(to.childSupport.begin() + keepFrom, to.childSupport.begin() + split);
    from.childBegin.assign(to.childBegin.begin() + keepFrom, to.childBegin.begin() + split);
    for (int32_t& begin : from.childBegin) begin -= keptBegin;
    from.nextChild -= keepFrom;
    auto take = [keptBegin, keptEnd](auto& fromEntries, auto& toEntries) {
        std::remove_reference_t<decltype(fromEntries)> kept(fromEntries.begin() + keptBegin, fromEntries.begin() + keptEnd);
        toEntries = std::move(fromEntries);
        fromEntries = std::move(kept);
    };
    take(from.link, to.link);
    if (j < depth) path_[std::size_t(j)] = from.entries(0);
    sharing.share(std::move(task));
}

// Depth first (walkDepthFirst): path_[d] holds the entries of the node at depth d on the current
// path and pattern_ its items.
bool SingleItemSearch::mine(ItemTask& task, WorkSharing<ItemTask>& sharing) {
    const int32_t baseDepth = int32_t(task.pattern.size());
    pattern_ = task.pattern;
    path_.assign(std::size_t(baseDepth) + 1, ItemNodeEntries{});
    for (int32_t d = 0; d < baseDepth; ++d) {
        const LinkArray& link = task.pathLink[std::size_t(d)];
        path_[std::size_t(d)] = {link.data(), int32_t(link.size())};
    }
    std::swap(levelAt(baseDepth), task.level);
    recordsAt_.assign(std::size_t(baseDepth) + 1, nullptr);
    recordsAt_[0] = task.rootRecords;
    heldRecords_ = task.pathRecords;
    for (int32_t d = 0; d < baseDepth; ++d) recordsAt_[std::size_t(d) + 1] = heldRecords_[std::size_t(d)].get();

    const bool going = walkDepthFirst(
        levels_, baseDepth, sharing,
        [this](int32_t depth, int32_t child) {
            const ItemLevel& level = levels_[std::size_t(depth)];
            const ItemNodeEntries node = level.entries(child);
            pattern_.push_back(level.childItem[std::size_t(child)]);
            if (path_.size() <= std::size_t(depth) + 1) path_.resize(std::size_t(depth) + 2);
            path_[std::size_t(depth)] = node;
            if (pruned(node, depth, memo_)) return Visit::Pruned;
            return growNode(node, depth, memo_) ? Visit::Grown : Visit::Stopped;
        },
        [this](int32_t depth) {
            pattern_.pop_back();
            if (depth == 0) collector_.singleItemDone();
        },
        [](int32_t) {}, [&](int32_t depth) { shareWork(baseDepth, depth, sharing); });
    std::swap(levels_[std::size_t(baseDepth)], task.level);
    heldRecords_.clear();
    return going;
}

SearchTotals mineSingleItems(const CompactDatabase& database, int32_t minSupport, const PatternSink& sink,
                             const SearchOptions& options) {
    NodeRecords rootRecords;
    const std::function<std::unique_ptr<SingleItemSearch>(ClosedCollector&)> makeEngine =
        [&](ClosedCollector& collector) { return std::make_unique<SingleItemSearch>(database, minSupport, collector); };
    NullCollector none;
    ItemTask root = SingleItemSearch(database, minSupport, none).singleItemTask(rootRecords);
    return runSearch<SingleItemSearch>(std::move(root), makeEngine, sink, options);
}

}  // namespace korvcore
