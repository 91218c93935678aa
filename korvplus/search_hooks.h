// What a search engine hands outwards: its closed patterns, and spare work for idle threads.
#pragma once

#include <cstdint>
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

}  // namespace korvplus
