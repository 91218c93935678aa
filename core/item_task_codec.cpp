#include <algorithm>
#include <cstddef>

#include "node_storage.h"
#include "task_words.h"

namespace korvcore {

namespace {

void putLinks(CheckedVector<int32_t>& words, const EntryLink* links, std::size_t count) {
    words.push_back(int32_t(2 * count));
    for (std::size_t k = 0; k < count; ++k) {
        words.push_back(links[k].parent);
        words.push_back(links[k].record);
    }
}

void readLinks(WordReader& reader, LinkArray& links) {
    CheckedVector<int32_t> flat;
    reader.array(flat);
    if (flat.size() % 2 != 0) throw std::runtime_error("malformed task message");
    links.resize(flat.size() / 2);
    for (std::size_t k = 0; k < links.size(); ++k) links[k] = {flat[2 * k], flat[2 * k + 1]};
}

// The children [from, from + count) of `level` with their entries (which lie back to back),
// rebased to 0.
void putChildren(CheckedVector<int32_t>& words, const ItemLevel& level, std::size_t from, std::size_t count) {
    const int32_t begin = count > 0 ? level.childBegin[from] : 0;
    const int32_t end = count > 0 ? level.childBegin[from + count - 1] + level.childSupport[from + count - 1] : 0;
    const auto entries = std::size_t(end - begin);
    words.push_back(int32_t(count));
    for (std::size_t c = from; c < from + count; ++c) {
        words.push_back(level.childItem[c]);
        words.push_back(level.childSupport[c]);
        words.push_back(level.childBegin[c] - begin);
    }
    putLinks(words, level.link.data() + begin, entries);
}

void readChildren(WordReader& reader, ItemLevel& level) {
    const int32_t children = reader.next();
    if (children < 0) throw std::runtime_error("malformed task message");
    for (int32_t c = 0; c < children; ++c) {
        level.childItem.push_back(reader.next());
        level.childSupport.push_back(reader.next());
        level.childBegin.push_back(reader.next());
    }
    readLinks(reader, level.link);
}

}  // namespace

void writeTask(const ItemTask& task, const ItemTask& root, CheckedVector<int32_t>& words) {
    const RootRange range = task.pattern.empty() ? findRootRange(task.level, root.level) : RootRange{};
    words.push_back(range.first);
    if (range.first >= 0) {
        words.push_back(range.count);
        return;
    }
    putWords(words, task.pattern);
    for (std::size_t d = 0; d < task.pattern.size(); ++d) {
        putLinks(words, task.pathLink[d].data(), task.pathLink[d].size());
        const NodeRecords& records = *task.pathRecords[d];
        putWords(words, records.cells);
        putWords(words, records.ends);
        putWords(words, records.repeated);
        putWords(words, records.childItems);
    }
    const auto count = std::size_t(task.level.childCount());
    const auto from = std::min(std::size_t(task.level.nextChild), count);
    putChildren(words, task.level, from, count - from);
}

ItemTask readTask(std::span<const int32_t> words, const ItemTask& root) {
    WordReader reader(words);
    ItemTask task;
    task.rootRecords = root.rootRecords;
    const int32_t first = reader.next();
    if (first >= 0) {
        const int32_t count = reader.next();
        reader.finish();
        if (count < 0 || count > root.level.childCount() - first) throw std::runtime_error("malformed task message");
        CheckedVector<int32_t> rebuilt;
        putChildren(rebuilt, root.level, std::size_t(first), std::size_t(count));
        WordReader children(rebuilt);
        readChildren(children, task.level);
        return task;
    }
    reader.array(task.pattern);
    for (std::size_t d = 0; d < task.pattern.size(); ++d) {
        readLinks(reader, task.pathLink.emplace_back());
        auto records = std::make_shared<NodeRecords>();
        reader.array(records->cells);
        reader.array(records->ends);
        reader.array(records->repeated);
        reader.array(records->childItems);
        task.pathRecords.push_back(std::move(records));
    }
    readChildren(reader, task.level);
    reader.finish();
    return task;
}

}  // namespace korvcore
