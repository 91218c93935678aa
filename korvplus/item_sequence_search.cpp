#include "item_sequence_search.h"

#include <algorithm>

#include "event_scan.h"

namespace korvplus {

CompactDatabase compactSingleItemDatabase(const SearchDatabase& database) {
    CompactDatabase compact;
    compact.itemCount = database.itemCount();
    std::vector<int32_t>& items = compact.items;
    items.reserve(database.values.size() / 2 + 1);
    items.push_back(-1);
    compact.sequenceMarks.push_back(0);
    // Every event is one item followed by -1, so the items are the values followed by -1.
    for (std::size_t i = 1; i < database.values.size(); ++i) {
        const int32_t value = database.values[i];
        if (value >= 0) {
            items.push_back(value);
        } else if (value == -2) {
            items.push_back(-1);
            compact.sequenceMarks.push_back(int32_t(items.size()) - 1);
        }
    }
    compact.sequenceMarks.pop_back();  // the final -1 starts no sequence

    // Walking backwards, the position seen last for an item is its next position.
    compact.nextSame.assign(items.size(), kNoPosition);
    std::vector<int32_t> seenAt(std::size_t(compact.itemCount), kNoPosition);
    std::vector<int32_t> seenItems;
    for (std::size_t p = items.size(); p-- > 0;) {
        const int32_t x = items[p];
        if (x < 0) {
            for (const int32_t y : seenItems) seenAt[std::size_t(y)] = kNoPosition;
            seenItems.clear();
            continue;
        }
        if (seenAt[std::size_t(x)] == kNoPosition) seenItems.push_back(x);
        compact.nextSame[p] = seenAt[std::size_t(x)];
        seenAt[std::size_t(x)] = int32_t(p);
    }
    return compact;
}

ItemSequenceSearch::ItemSequenceSearch(const CompactDatabase& database, int32_t minSupport,
                                       ClosedCollector& collector)
    : items_(database.items.data()),
      nextSame_(database.nextSame.data()),
      database_(database),
      minSupport_(std::max<int32_t>(minSupport, 1)),
      collector_(collector) {
    const std::size_t itemCount = std::size_t(database.itemCount);
    count_.assign(itemCount, 0);
    stamp_.assign(itemCount, -1);
    childIndex_.assign(itemCount, -1);
    recordOf_.assign(itemCount, 0);
    tally_.assign(itemCount, 0);
}

ItemLevel& ItemSequenceSearch::levelAt(int32_t depth) {
    while (int32_t(levels_.size()) <= depth) levels_.emplace_back();
    return levels_[std::size_t(depth)];
}

ItemTask ItemSequenceSearch::singleItemTask() {
    // The empty pattern's entries stand on the -1 before each sequence, so counting its forward
    // extensions counts every item of every sequence once.
    const std::vector<int32_t>& marks = database_.sequenceMarks;
    const ItemNodeEntries root{marks.data(), marks.data(), marks.data(), int32_t(marks.size())};
    buildChildren(root, -1);
    ItemTask task;
    std::swap(task.level, levels_[0]);
    return task;
}

// One pass over each entry's sequence after the first instance records, per item, its first and
// last position there and counts the item once; the frequent ones become children, whose entries
// are then filled from the records alone.
int32_t ItemSequenceSearch::buildChildren(ItemNodeEntries node, int32_t depth) {
    const int32_t* items = items_;
    int32_t* count = count_.data();
    int32_t* stamp = stamp_.data();
    int32_t* recordOf = recordOf_.data();
    records_.clear();
    recordEnd_.resize(std::size_t(node.size));
    for (int32_t k = 0; k < node.size; ++k) {
        if (k + kPrefetchDistance < node.size) prefetchPosition(items, node.first[k + kPrefetchDistance] + 1);
        for (int32_t p = node.first[k] + 1;; ++p) {
            const int32_t x = items[p];
            if (x < 0) break;
            if (stamp[x] == k) {
                records_[std::size_t(recordOf[x])].last = p;
                continue;
            }
            stamp[x] = k;
            if (count[x]++ == 0) touched_.push_back(x);
            recordOf[x] = int32_t(records_.size());
            records_.push_back({x, p, p});
        }
        recordEnd_[std::size_t(k)] = int32_t(records_.size());
    }

    ItemLevel& level = levelAt(depth + 1);
    level.childItem.clear();
    level.childSupport.clear();
    level.childBegin.clear();
    level.nextChild = 0;
    frequent_.clear();
    for (const int32_t x : touched_)
        if (count[x] >= minSupport_) frequent_.push_back(x);
    std::sort(frequent_.begin(), frequent_.end());
    int32_t equalSupport = 0;
    int32_t total = 0;
    for (const int32_t x : frequent_) {
        childIndex_[std::size_t(x)] = level.childCount();
        if (count[x] == node.size) ++equalSupport;
        level.childItem.push_back(x);
        level.childSupport.push_back(count[x]);
        level.childBegin.push_back(total);
        total += count[x];
    }

    if (total > 0) {
        level.first.resize(std::size_t(total));
        level.last.resize(std::size_t(total));
        level.parent.resize(std::size_t(total));
        int32_t* first = level.first.data();
        int32_t* last = level.last.data();
        int32_t* parent = level.parent.data();
        int32_t* cursor = level.childBegin.data();
        const int32_t* childIndex = childIndex_.data();
        int32_t r = 0;
        for (int32_t k = 0; k < node.size; ++k) {
            for (const int32_t end = recordEnd_[std::size_t(k)]; r < end; ++r) {
                const Record& record = records_[std::size_t(r)];
                const int32_t child = childIndex[record.item];
                if (child < 0) continue;
                const int32_t at = cursor[child]++;
                first[at] = record.first;
                last[at] = record.last;
                parent[at] = k;
            }
        }
        // cursor[c] now stands at the end of child c; move each back to its start.
        for (int32_t c = 0; c < level.childCount(); ++c) cursor[c] -= level.childSupport[std::size_t(c)];
    }

    for (const int32_t x : touched_) {
        count[x] = 0;
        stamp[x] = -1;
        childIndex_[std::size_t(x)] = -1;
    }
    touched_.clear();
    return equalSupport;
}

void ItemSequenceSearch::growNode(ItemNodeEntries node, int32_t depth) {
    const int32_t equalSupport = buildChildren(node, depth);
    if (equalSupport != 0 || windowsShareItem(node, depth, true)) return;
    outputPattern_.clear();
    for (const int32_t x : pattern_) {
        outputPattern_.push_back(x);
        outputPattern_.push_back(-1);
    }
    collector_.collect(outputPattern_, depth);
}

// Window i of an entry lies strictly between f(i - 1) (the sequence start for i = 0) and the
// chain position c(i): c(depth) is the first instance's end (pruning) or the last position of
// the final item (backward), and c(i) is the last position of e(i) before c(i + 1). Windows are
// taken position by position, entry by entry; tally_[x] == g + 1 after entry g means x lies in
// window i of entries 0 .. g, so a position dies at the first entry that raises no tally, and
// the first position to survive every entry answers the check. Each entry's chain is walked up
// only as far as a position needs it, hopping over the occurrences of e(i) with nextSame.
bool ItemSequenceSearch::windowsShareItem(ItemNodeEntries node, int32_t depth, bool fromLast) {
    const int32_t* items = items_;
    const int32_t* nextSame = nextSame_;
    int32_t* tally = tally_.data();
    const std::size_t n = std::size_t(node.size);
    chainDepth_.assign(n, depth);
    chainEntry_.resize(n);
    chainEnd_.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        chainEntry_[k] = int32_t(k);
        chainEnd_[k] = fromLast ? node.last[k] : node.first[k];
    }
    path_[std::size_t(depth)] = node;

    for (int32_t i = depth; i >= 0; --i) {
        bool shared = true;
        for (int32_t g = 0; g < node.size; ++g) {
            int32_t at = chainDepth_[std::size_t(g)];
            int32_t entry = chainEntry_[std::size_t(g)];
            int32_t end = chainEnd_[std::size_t(g)];
            while (at > i) {
                const int32_t parentEntry = path_[std::size_t(at)].parent[entry];
                int32_t p = path_[std::size_t(at) - 1].first[parentEntry];
                while (nextSame[p] < end) p = nextSame[p];
                end = p;
                entry = parentEntry;
                --at;
            }
            chainDepth_[std::size_t(g)] = at;
            chainEntry_[std::size_t(g)] = entry;
            chainEnd_[std::size_t(g)] = end;

            int32_t raised = 0;
            const int32_t left = i > 0 ? path_[std::size_t(i) - 1].first[path_[std::size_t(i)].parent[entry]] : -1;
            for (int32_t p = end - 1; p > left; --p) {
                const int32_t x = items[p];
                if (x < 0) break;  // the sequence start, for window 0
                if (tally[x] != g) continue;
                tally[x] = g + 1;
                ++raised;
                if (g == 0) tallied_.push_back(x);
            }
            if (raised == 0) {
                shared = false;
                break;
            }
        }
        for (const int32_t x : tallied_) tally[x] = 0;
        tallied_.clear();
        if (shared) return true;
    }
    return false;
}

void ItemSequenceSearch::shareWork(int32_t baseDepth, int32_t depth, WorkSharing<ItemTask>& sharing) {
    int32_t j = baseDepth;
    while (j <= depth && levels_[std::size_t(j)].nextChild == levels_[std::size_t(j)].childCount()) ++j;
    if (j > depth) return;
    ItemLevel& from = levels_[std::size_t(j)];
    ItemTask task;
    task.pattern.assign(pattern_.begin(), pattern_.begin() + j);
    for (int32_t d = 0; d < j; ++d) {
        const ItemNodeEntries& node = path_[std::size_t(d)];
        task.pathFirst.emplace_back(node.first, node.first + node.size);
        task.pathParent.emplace_back(node.parent, node.parent + node.size);
    }
    ItemLevel& to = task.level;
    const int32_t begin = from.childBegin[std::size_t(from.nextChild)];
    for (int32_t c = from.nextChild; c < from.childCount(); ++c) {
        to.childItem.push_back(from.childItem[std::size_t(c)]);
        to.childSupport.push_back(from.childSupport[std::size_t(c)]);
        to.childBegin.push_back(from.childBegin[std::size_t(c)] - begin);
    }
    to.first.assign(from.first.begin() + begin, from.first.end());
    to.last.assign(from.last.begin() + begin, from.last.end());
    to.parent.assign(from.parent.begin() + begin, from.parent.end());
    from.childItem.resize(std::size_t(from.nextChild));
    from.childSupport.resize(std::size_t(from.nextChild));
    from.childBegin.resize(std::size_t(from.nextChild));
    sharing.share(std::move(task));
}

// Depth first with an explicit stack of levels, so that very long sequences cannot exhaust the
// call stack: levels_[d] holds the children visited at depth d, path_[d] the entries of the node
// at depth d on the current path and pattern_ its items.
void ItemSequenceSearch::mine(ItemTask& task, WorkSharing<ItemTask>& sharing) {
    const int32_t baseDepth = int32_t(task.pattern.size());
    pattern_ = task.pattern;
    path_.assign(std::size_t(baseDepth) + 1, ItemNodeEntries{});
    for (int32_t d = 0; d < baseDepth; ++d) {
        const std::vector<int32_t>& first = task.pathFirst[std::size_t(d)];
        path_[std::size_t(d)] = {first.data(), nullptr, task.pathParent[std::size_t(d)].data(), int32_t(first.size())};
    }
    std::swap(levelAt(baseDepth), task.level);

    int32_t depth = baseDepth;
    while (depth >= baseDepth) {
        ItemLevel& level = levels_[std::size_t(depth)];
        if (level.nextChild == level.childCount()) {
            if (--depth >= baseDepth) pattern_.pop_back();
            continue;
        }
        if (sharing.wantsWork()) shareWork(baseDepth, depth, sharing);
        if (level.nextChild == level.childCount()) continue;
        const int32_t child = level.nextChild++;
        const ItemNodeEntries node = level.entries(child);
        pattern_.push_back(level.childItem[std::size_t(child)]);
        if (path_.size() <= std::size_t(depth) + 1) path_.resize(std::size_t(depth) + 2);
        if (windowsShareItem(node, depth, false)) {
            pattern_.pop_back();
            continue;
        }
        growNode(node, depth);
        if (levels_[std::size_t(depth) + 1].childCount() == 0) {
            pattern_.pop_back();
            continue;
        }
        ++depth;
    }
    std::swap(levels_[std::size_t(baseDepth)], task.level);
}

}  // namespace korvplus
