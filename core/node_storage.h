// What the single-item search keeps per node: entries, records, levels and tasks.
//
// A node at depth d (pattern e(0) .. e(d)) has one entry per supporting sequence, in sequence
// order:
//   link[k].parent    the entry of the node at depth d - 1 whose sequence this is (the sequence
//                     number at depth 0);
//   link[k].record    the parent's record (below) of e(d) in that sequence: its `first` is f(d),
//                     where the first instance of the pattern ends in that sequence, and its
//                     `last` the last position of e(d) there.
// The two links sit side by side: every pass that reads one reads the other. So the first
// instance is f(0) .. f(d), found by following parent links up the search path, and an entry
// keeps no position of its own.
//
// NodeRecords: for each entry of a node, one record per item that is a frequent extension of the
// node and occurs after f(d) in the entry's sequence: the item, its first position after f(d) and
// its last position. A child's extensions are among its parent's frequent ones, so a child counts
// by reading its parent's records instead of its sequence:
//   1. records of entry k are end(k - 1) .. end(k) - 1 (from 0 for k = 0), in ascending first;
//   2. repeated[repeatedEnd(k - 1) .. repeatedEnd(k) - 1] (from 0 for k = 0) are, ascending, the
//      indices of entry k's records whose item occurs more than once (first != last).
// The empty pattern's records (one entry per sequence) hold the frequent single items.
//
// A record's cells lie together (item, first, last), and so do an entry's (end, repeatedEnd): a
// pass reads an entry's own record, its repeated records and the records after it, which then
// share cache lines instead of taking one line per field.
//
// Without positions (the database's uniqueItems: no sequence holds an item twice), every pattern
// has one instance per sequence, and the window of position i in an entry is its records before
// that of e(i). So the search keeps items and record ends only: a record is its item, an entry
// its end, and `repeated` stays empty.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "checked_vector.h"

namespace korvcore {

using NodeArray = UninitializedVector<int32_t>;

// Per-depth storage is reused from node to node; when a node needs far less than an earlier one
// left reserved, the slack goes back, so that threads do not each keep their largest nodes.
template <class Storage>
void resizeKeepingLittleSlack(Storage& storage, std::size_t size) {
    storage.resize(size);
    if (storage.capacity() > (std::size_t(1) << 16) && storage.capacity() / 8 > size) storage.shrink_to_fit();
}

struct ItemRecord {
    int32_t item, first, last;
};

struct EntryLink {
    int32_t parent, record;
};
using LinkArray = UninitializedVector<EntryLink>;

// Where the cells lie: a record is item, first, last (its item alone without positions), an
// entry is end, repeatedEnd (its end alone).
enum RecordCell : int32_t { kItemCell, kFirstCell, kLastCell, kPositionRecordCells };
enum EntryCell : int32_t { kEndCell, kRepeatedEndCell, kPositionEntryCells };

// The records of one node, read through RecordCells.
struct NodeRecords {
    NodeArray cells;  // per record: item, and with positions first, last
    NodeArray ends;   // per entry: end, and with positions repeatedEnd
    NodeArray repeated;
    CheckedVector<int32_t> childItems;  // the distinct items of the records, ascending

    // Room for recordCount records and one scratch record past them; `repeated` is cut to its
    // size once filled.
    void resize(int32_t recordCount, int32_t entryCount, bool positions) {
        const std::size_t records = std::size_t(recordCount) + 1;
        resizeKeepingLittleSlack(cells, records * std::size_t(positions ? kPositionRecordCells : 1));
        resizeKeepingLittleSlack(ends, std::size_t(entryCount) * std::size_t(positions ? kPositionEntryCells : 1));
        if (positions) resizeKeepingLittleSlack(repeated, records);
    }
};

// A node's records as the search reads them; UniqueItems: without positions.
template <bool UniqueItems>
struct RecordCells {
    static constexpr int32_t kRecordCells = UniqueItems ? 1 : kPositionRecordCells;
    static constexpr int32_t kEntryCells = UniqueItems ? 1 : kPositionEntryCells;
    const int32_t* cells;
    const int32_t* ends;
    const int32_t* repeatedAt;

    explicit RecordCells(const NodeRecords& records)
        : cells(records.cells.data()), ends(records.ends.data()), repeatedAt(records.repeated.data()) {}
    int32_t item(int32_t q) const { return cells[std::ptrdiff_t(q) * kRecordCells + kItemCell]; }
    int32_t first(int32_t q) const { return cells[std::ptrdiff_t(q) * kRecordCells + kFirstCell]; }
    int32_t last(int32_t q) const { return cells[std::ptrdiff_t(q) * kRecordCells + kLastCell]; }
    int32_t end(int32_t k) const { return ends[std::ptrdiff_t(k) * kEntryCells + kEndCell]; }
    int32_t begin(int32_t k) const { return k > 0 ? end(k - 1) : 0; }
    int32_t repeatedEnd(int32_t k) const { return ends[std::ptrdiff_t(k) * kEntryCells + kRepeatedEndCell]; }
    int32_t repeatedBegin(int32_t k) const { return k > 0 ? repeatedEnd(k - 1) : 0; }
    int32_t repeated(int32_t r) const { return repeatedAt[r]; }
};

// The entries of one node, by pointer into the level that holds them.
struct ItemNodeEntries {
    const EntryLink* link = nullptr;
    int32_t size = 0;
};

// The children of one node with their entries back to back; one per depth, reused.
struct ItemLevel {
    CheckedVector<int32_t> childItem;  // ascending
    CheckedVector<int32_t> childSupport;
    CheckedVector<int32_t> childBegin;
    LinkArray link;
    int32_t nextChild = 0;

    int32_t childCount() const { return static_cast<int32_t>(childItem.size()); }
    ItemNodeEntries entries(int32_t child) const {
        return {link.data() + childBegin[std::size_t(child)], childSupport[std::size_t(child)]};
    }
};

// A subtree to mine: the pattern above `level`'s children, the entries (copied) and records
// (shared, never written again) of every node on the path to them, and the children themselves.
// The serial search is one task whose level holds every frequent single item.
struct ItemTask {
    CheckedVector<int32_t> pattern;  // e(0) .. e(d - 1), dense ids; empty for the single items
    const NodeRecords* rootRecords = nullptr;  // the empty pattern's, shared by every task
    std::vector<LinkArray> pathLink;           // per depth 0 .. d - 1
    std::vector<std::shared_ptr<const NodeRecords>> pathRecords;  // per depth 0 .. d - 1
    ItemLevel level;
};

// The task as message words (task_words.h), for a search thread in another process: a task of
// the root's level as its run of the root's children, any other with its pattern, path and
// records whole and its level from the next child on. `root` is the run's root task, whole, in
// the writing and in the reading process; the read task takes rootRecords from it.
void writeTask(const ItemTask& task, const ItemTask& root, CheckedVector<int32_t>& words);
ItemTask readTask(std::span<const int32_t> words, const ItemTask& root);

}  // namespace korvcore
