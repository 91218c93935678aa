// Where an engine's levels give work away: the helpers both engines use to cut a task.
//
// A level is the children of one node on the search path (childItem, childSupport, childBegin:
// where each child's entries start, nextChild: the next child to visit).
#pragma once

#include <cstdint>
#include <deque>

#include "engine_interface.h"

namespace korvcore {

// The shallowest level from baseDepth to depth with children not started yet, and the children
// to hand over: the later half of them (the larger half when odd), so that a wide level is
// shared out in a few halvings instead of one hand-over per child; or all of them with
// HandOver::All. At the current depth the next child always stays, so that the thread still has
// work. Sets `level` and the first child to hand over; false when there is nothing to hand over.
template <class Level>
bool findWorkToShare(const std::deque<Level>& levels, int32_t baseDepth, int32_t depth, HandOver amount,
                     int32_t& level, int32_t& firstChild) {
    for (level = baseDepth; level <= depth; ++level) {
        const Level& candidate = levels[std::size_t(level)];
        if (candidate.nextChild == candidate.childCount()) continue;
        firstChild = candidate.nextChild + (level == depth ? 1 : 0);
        if (amount == HandOver::LaterHalf) firstChild += (candidate.childCount() - firstChild) / 2;
        return firstChild < candidate.childCount();
    }
    return false;
}

// Moves children [firstChild, end) of `from` to the empty `to`: items, supports and their begins,
// rebased to start at 0. Returns where the moved children's entries start in from's per-entry
// arrays; the caller moves those.
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

}  // namespace korvcore
