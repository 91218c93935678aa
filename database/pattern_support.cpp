#include "pattern_support.h"

#include <algorithm>

namespace korvdatabase {

SupportCounter::SupportCounter(const SequenceDatabase& db) : db_(db) {
    // Item-to-sequences index, counted once per sequence with a stamp per item.
    const std::size_t itemSlots = std::size_t(db.largestItem) + 1;
    indexStart_.assign(itemSlots + 1, 0);
    std::vector<int32_t> stamp(itemSlots, -1);
    const std::size_t sequences = db.sequenceCount();
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<int32_t> fill;
        if (pass == 1) {
            for (std::size_t item = 0; item < itemSlots; ++item) indexStart_[item + 1] += indexStart_[item];
            indexSequences_.resize(std::size_t(indexStart_[itemSlots]));
            fill.assign(indexStart_.begin(), indexStart_.end() - 1);
            std::fill(stamp.begin(), stamp.end(), -1);
        }
        for (std::size_t s = 0; s < sequences; ++s)
            for (uint32_t k = db.sequenceStart[s]; k < db.sequenceStart[s + 1]; ++k) {
                const int32_t item = db.words[k];
                if (item < 0 || stamp[std::size_t(item)] == int32_t(s)) continue;
                stamp[std::size_t(item)] = int32_t(s);
                if (pass == 0) ++indexStart_[std::size_t(item) + 1];
                else indexSequences_[std::size_t(fill[std::size_t(item)]++)] = int32_t(s);
            }
    }
    // Every position of each item, ascending.
    positionStart_.assign(itemSlots + 1, 0);
    for (int32_t value : db.words)
        if (value >= 0) ++positionStart_[std::size_t(value) + 1];
    for (std::size_t item = 0; item < itemSlots; ++item) positionStart_[item + 1] += positionStart_[item];
    positions_.resize(std::size_t(positionStart_[itemSlots]));
    {
        std::vector<int32_t> fill(positionStart_.begin(), positionStart_.end() - 1);
        for (std::size_t k = 0; k < db.words.size(); ++k)
            if (db.words[k] >= 0) positions_[std::size_t(fill[std::size_t(db.words[k])]++)] = int32_t(k);
    }
    // Presence bits per item and sequence, when they take at most 256 MiB.
    bitWords_ = (sequences + 63) / 64;
    if (itemSlots * bitWords_ <= (std::size_t(32) << 20)) {
        itemBits_.assign(itemSlots * bitWords_, 0);
        for (std::size_t item = 0; item < itemSlots; ++item)
            for (int32_t k = indexStart_[item]; k < indexStart_[item + 1]; ++k) {
                const auto seq = std::size_t(indexSequences_[std::size_t(k)]);
                itemBits_[item * bitWords_ + seq / 64] |= uint64_t(1) << (seq % 64);
            }
    }
}

bool SupportCounter::matches(std::span<const int32_t> pattern, std::size_t firstEventOffset, int32_t at,
                             int32_t sequenceEnd, int32_t& lastEventStart, int32_t& lastEventEnd) const {
    const int32_t* words = db_.words.data();
    std::size_t p = firstEventOffset;
    while (p < pattern.size()) {
        // The event's rarest item anchors the search: its occurrences from `at` on, in order.
        std::size_t eventEnd = p;
        int32_t anchor = pattern[p];
        for (; pattern[eventEnd] != -1; ++eventEnd)
            if (occurrences(pattern[eventEnd]) < occurrences(anchor)) anchor = pattern[eventEnd];
        if (anchor > db_.largestItem) return false;
        lastEventStart = at;
        const int32_t* next = positions_.data() + positionStart_[std::size_t(anchor)];
        const int32_t* last = positions_.data() + positionStart_[std::size_t(anchor) + 1];
        for (next = std::lower_bound(next, last, at);; ++next) {
            if (next == last || *next >= sequenceEnd) return false;
            int32_t start = *next;
            while (start > 0 && words[start - 1] >= 0) --start;
            // Both the event and the pattern event ascend: one merge decides containment.
            std::size_t want = p;
            int32_t k = start;
            for (; words[k] >= 0 && want < eventEnd; ++k) {
                if (words[k] > pattern[want]) break;
                if (words[k] == pattern[want]) ++want;
            }
            if (want == eventEnd) {
                while (words[k] >= 0) ++k;
                at = k + 1;
                break;
            }
        }
        p = eventEnd + 1;
    }
    lastEventEnd = at;
    return true;
}

std::span<const int32_t> SupportCounter::supportingSequences(std::span<const int32_t> pattern) {
    // The longest listed prefix: the deepest level whose pattern, less its final -1, starts `pattern`.
    while (depth_ > 0) {
        const std::vector<int32_t>& prefix = levels_[depth_ - 1].pattern;
        if (prefix.size() <= pattern.size() && std::equal(prefix.begin(), prefix.end() - 1, pattern.begin())) break;
        --depth_;
    }
    if (levels_.size() == depth_) levels_.emplace_back();
    Level& level = levels_[depth_];
    level.pattern.assign(pattern.begin(), pattern.end());
    level.sequences.clear();
    level.resume.clear();
    level.after.clear();

    // Candidates: the sequences of the prefix that also hold the rarest item the line adds, or
    // without a listed prefix, the sequences of the line's rarest item.
    const Level* parent = depth_ > 0 ? &levels_[depth_ - 1] : nullptr;
    const std::size_t added = parent != nullptr ? parent->pattern.size() - 1 : 0;
    std::size_t rarest = SIZE_MAX;
    std::size_t rarestCount = SIZE_MAX;
    for (std::size_t k = added; k < pattern.size(); ++k) {
        const int32_t item = pattern[k];
        if (item < 0) continue;
        const std::size_t count = item > db_.largestItem
                                      ? 0
                                      : std::size_t(indexStart_[std::size_t(item) + 1] - indexStart_[std::size_t(item)]);
        if (count < rarestCount) {
            rarestCount = count;
            rarest = std::size_t(item);
        }
    }
    int32_t lastEventStart = 0;
    int32_t lastEventEnd = 0;
    if (parent != nullptr) {
        // The prefix's events but its last one are matched already; continue from its last event.
        std::size_t offset = parent->pattern.size() - 1;
        while (offset > 0 && parent->pattern[offset - 1] != -1) --offset;
        // A line that keeps the prefix's last event whole goes on after that event's match.
        const bool keepsLastEvent = pattern[added] == -1 && added + 1 < pattern.size();
        auto tryParentEntry = [&](std::size_t k) {
            const auto end = int32_t(db_.sequenceStart[std::size_t(parent->sequences[k]) + 1]);
            const bool found = keepsLastEvent
                                   ? matches(pattern, added + 1, parent->after[k], end, lastEventStart, lastEventEnd)
                                   : matches(pattern, offset, parent->resume[k], end, lastEventStart, lastEventEnd);
            if (found) {
                level.sequences.push_back(parent->sequences[k]);
                level.resume.push_back(lastEventStart);
                level.after.push_back(lastEventEnd);
            }
        };
        if (rarest == SIZE_MAX) {
            for (std::size_t k = 0; k < parent->sequences.size(); ++k) tryParentEntry(k);
        } else if (!itemBits_.empty()) {
            // Only the prefix's sequences that hold every item the line adds are worth matching.
            newItems_.clear();
            for (std::size_t k = added; k < pattern.size(); ++k)
                if (pattern[k] >= 0) newItems_.push_back(pattern[k]);
            if (rarestCount > 0)
                for (std::size_t k = 0; k < parent->sequences.size(); ++k) {
                    const auto seq = std::size_t(parent->sequences[k]);
                    bool holdsAll = true;
                    for (int32_t item : newItems_)
                        holdsAll = holdsAll && (itemBits_[std::size_t(item) * bitWords_ + seq / 64] >> (seq % 64) & 1) != 0;
                    if (holdsAll) tryParentEntry(k);
                }
        } else if (rarestCount > 0) {
            // Intersect the two ascending lists, searching the longer one for each entry of the shorter.
            const int32_t* list = indexSequences_.data() + indexStart_[rarest];
            const int32_t* listEnd = list + rarestCount;
            const std::vector<int32_t>& mine = parent->sequences;
            if (rarestCount < mine.size()) {
                auto from = mine.begin();
                for (const int32_t* at = list; at != listEnd; ++at) {
                    from = std::lower_bound(from, mine.end(), *at);
                    if (from == mine.end()) break;
                    if (*from == *at) tryParentEntry(std::size_t(from - mine.begin()));
                }
            } else {
                const int32_t* from = list;
                for (std::size_t k = 0; k < mine.size(); ++k) {
                    from = std::lower_bound(from, listEnd, mine[k]);
                    if (from == listEnd) break;
                    if (*from == mine[k]) tryParentEntry(k);
                }
            }
        }
    } else if (rarestCount > 0 && rarestCount != SIZE_MAX) {
        for (int32_t k = indexStart_[rarest]; k < indexStart_[rarest + 1]; ++k) {
            const int32_t s = indexSequences_[std::size_t(k)];
            if (matches(pattern, 0, int32_t(db_.sequenceStart[std::size_t(s)]),
                        int32_t(db_.sequenceStart[std::size_t(s) + 1]), lastEventStart, lastEventEnd)) {
                level.sequences.push_back(s);
                level.resume.push_back(lastEventStart);
                level.after.push_back(lastEventEnd);
            }
        }
    }
    ++depth_;
    return level.sequences;
}

}  // namespace korvdatabase
