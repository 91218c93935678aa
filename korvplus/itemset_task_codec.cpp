#include <algorithm>
#include <cstddef>
#include <stdexcept>

#include "itemset_search.h"
#include "task_words.h"

namespace korvplus {

void writeTask(const ItemsetTask& task, const ItemsetTask& root, korvcore::CheckedVector<int32_t>& words) {
    const ItemsetLevel& level = task.level;
    const korvcore::RootRange range =
        task.pattern.empty() ? korvcore::findRootRange(level, root.level) : korvcore::RootRange{};
    words.push_back(range.first);
    if (range.first >= 0) {
        words.push_back(range.count);
        return;
    }
    korvcore::putWords(words, task.pattern);
    korvcore::putWords(words, level.childItem);
    korvcore::putWords(words, level.childSupport);
    korvcore::putWords(words, level.childBegin);
    korvcore::putWords(words, level.positions);
    words.push_back(level.sequenceChildren);
    words.push_back(level.nextChild);
    korvcore::putWords(words, level.candidateItems);
}

ItemsetTask readTask(std::span<const int32_t> words, const ItemsetTask& root) {
    korvcore::WordReader reader(words);
    ItemsetTask task;
    ItemsetLevel& level = task.level;
    const int32_t first = reader.next();
    if (first >= 0) {
        // The root's children [first, first + count) with their positions, as a split of the
        // root's level would hand them over (moveChildren).
        const int32_t count = reader.next();
        reader.finish();
        const ItemsetLevel& from = root.level;
        if (count < 0 || count > from.childCount() - first) throw std::runtime_error("malformed task message");
        const auto begin = std::size_t(first);
        const auto end = begin + std::size_t(count);
        level.childItem.assign(from.childItem.begin() + std::ptrdiff_t(begin), from.childItem.begin() + std::ptrdiff_t(end));
        level.childSupport.assign(from.childSupport.begin() + std::ptrdiff_t(begin),
                                  from.childSupport.begin() + std::ptrdiff_t(end));
        const int32_t base = count > 0 ? from.childBegin[begin] : 0;
        for (std::size_t c = begin; c < end; ++c) level.childBegin.push_back(from.childBegin[c] - base);
        const int32_t stop = count > 0 ? from.childBegin[end - 1] + from.childSupport[end - 1] : 0;
        level.positions.assign(from.positions.begin() + base, from.positions.begin() + stop);
        level.sequenceChildren = std::clamp(from.sequenceChildren - first, 0, count);
        level.candidateItems = from.candidateItems;
        return task;
    }
    reader.array(task.pattern);
    reader.array(level.childItem);
    reader.array(level.childSupport);
    reader.array(level.childBegin);
    reader.array(level.positions);
    level.sequenceChildren = reader.next();
    level.nextChild = reader.next();
    reader.array(level.candidateItems);
    reader.finish();
    const auto children = level.childItem.size();
    if (level.childSupport.size() != children || level.childBegin.size() != children || level.sequenceChildren < 0 ||
        level.nextChild < 0 || std::size_t(level.sequenceChildren) > children || std::size_t(level.nextChild) > children)
        throw std::runtime_error("malformed task message");
    return task;
}

}  // namespace korvplus
