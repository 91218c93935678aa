#include <stdexcept>

#include "itemset_search.h"
#include "task_words.h"

namespace korvplus {

void writeTask(const ItemsetTask& task, korvcore::CheckedVector<int32_t>& words) {
    const ItemsetLevel& level = task.level;
    korvcore::putWords(words, task.pattern);
    korvcore::putWords(words, level.childItem);
    korvcore::putWords(words, level.childSupport);
    korvcore::putWords(words, level.childBegin);
    korvcore::putWords(words, level.positions);
    words.push_back(level.sequenceChildren);
    words.push_back(level.nextChild);
    korvcore::putWords(words, level.candidateItems);
}

ItemsetTask readTask(std::span<const int32_t> words, const ItemsetTask&) {
    korvcore::WordReader reader(words);
    ItemsetTask task;
    ItemsetLevel& level = task.level;
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
