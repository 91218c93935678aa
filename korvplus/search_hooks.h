// What a search engine hands outwards: its closed patterns, and spare work for idle threads.
#pragma once

#include <cstdint>
#include <deque>
#include <span>

namespace korvplus {

// Receives each closed pattern the moment it is found, in search order: dense item ids, each
// event followed by -1; depth + 1 is its number of items.
class ClosedCollector {
public:
    virtual void collect(std::span<const int32_t> pattern, int32_t depth) = 0;
    // Told when the subtree of a single item (depth 0) has been searched, or pruned.
    virtual void singleItemDone() {}

protected:
    ~ClosedCollector() = default;
};

// Asked between two children of the search whether other threads wait for work; if so, the
// search hands over the children it has not started at its shallowest level, as one task.
template <class Task>
class WorkSharing {
public:
    virtual bool wantsWork() = 0;
    virtual void share(Task&& task) = 0;

protected:
    ~WorkSharing() = default;
};

// Never asks for work: the plain serial search.
template <class Task>
class NoSharing final : public WorkSharing<Task> {
public:
    bool wantsWork() override { return false; }
    void share(Task&&) override {}
};

// Where a search hands work from: the shallowest level from baseDepth to depth with children not
// started yet. At the current depth the next child is kept, so that the thread still has work.
// Sets `level` and the first child to hand over; false when there is nothing to hand over.
template <class Level>
bool findWorkToShare(const std::deque<Level>& levels, int32_t baseDepth, int32_t depth, int32_t& level,
                     int32_t& firstChild) {
    for (level = baseDepth; level <= depth; ++level) {
        const Level& candidate = levels[std::size_t(level)];
        if (candidate.nextChild == candidate.childCount()) continue;
        firstChild = candidate.nextChild + (level == depth ? 1 : 0);
        return firstChild < candidate.childCount();
    }
    return false;
}

// Moves children [firstChild, end) of `from` to the empty `to`: items, supports and their begins,
// rebased. Returns where the moved children's entries start in from's per-entry arrays; the
// caller moves those.
template <class Level>
int32_t moveChildren(Level& from, Level& to, int32_t firstChild) {
    const int32_t begin = from.childBegin[std::size_t(firstChild)];
    for (int32_t c = firstChild; c < from.childCount(); ++c) {
        to.childItem.push_back(from.childItem[std::size_t(c)]);
        to.childSupport.push_back(from.childSupport[std::size_t(c)]);
        to.childBegin.push_back(from.childBegin[std::size_t(c)] - begin);
    }
    from.childItem.resize(std::size_t(firstChild));
    from.childSupport.resize(std::size_t(firstChild));
    from.childBegin.resize(std::size_t(firstChild));
    return begin;
}

}  // namespace korvplus
