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

}  // namespace

void writeTask(const ItemTask& task, CheckedVector<int32_t>& words) {
    putWords(words, task.pattern);
    for (std::size_t d = 0; d < task.pattern.size(); ++d) {
        putWords(words, task.pathFirst[d]);
        putLinks(words, task.pathLink[d].data(), task.pathLink[d].size());
        const NodeRecords& records = *task.pathRecords[d];
        putWords(words, records.item);
        putWords(words, records.first);
        putWords(words, records.last);
        putWords(words, records.end);
        putWords(words, records.repeated);
        putWords(words, records.repeatedEnd);
        putWords(words, records.childItems);
    }
    // The children from nextChild on, with their entries (which lie back to back) rebased to 0.
    const ItemLevel& level = task.level;
    const auto from = std::size_t(level.nextChild);
    const auto count = std::size_t(level.childCount());
    const int32_t begin = from < count ? level.childBegin[from] : 0;
    const int32_t end = count > 0 ? level.childBegin[count - 1] + level.childSupport[count - 1] : 0;
    const auto entries = std::size_t(std::max(end - begin, 0));
    words.push_back(int32_t(count - std::min(from, count)));
    for (std::size_t c = from; c < count; ++c) {
        words.push_back(level.childItem[c]);
        words.push_back(level.childSupport[c]);
        words.push_back(level.childBegin[c] - begin);
    }
    if (level.first.empty())
        words.push_back(0);
    else
        putWords(words, std::span<const int32_t>(level.first.data() + begin, entries));
    putLinks(words, level.link.data() + begin, entries);
}

ItemTask readTask(std::span<const int32_t> words, const ItemTask& sameRun) {
    WordReader reader(words);
    ItemTask task;
    task.rootRecords = sameRun.rootRecords;
    reader.array(task.pattern);
    for (std::size_t d = 0; d < task.pattern.size(); ++d) {
        reader.array(task.pathFirst.emplace_back());
        readLinks(reader, task.pathLink.emplace_back());
        auto records = std::make_shared<NodeRecords>();
        reader.array(records->item);
        reader.array(records->first);
        reader.array(records->last);
        reader.array(records->end);
        reader.array(records->repeated);
        reader.array(records->repeatedEnd);
        reader.array(records->childItems);
        task.pathRecords.push_back(std::move(records));
    }
    ItemLevel& level = task.level;
    const int32_t children = reader.next();
    if (children < 0) throw std::runtime_error("malformed task message");
    for (int32_t c = 0; c < children; ++c) {
        level.childItem.push_back(reader.next());
        level.childSupport.push_back(reader.next());
        level.childBegin.push_back(reader.next());
    }
    reader.array(level.first);
    readLinks(reader, level.link);
    reader.finish();
    return task;
}

}  // namespace korvcore
