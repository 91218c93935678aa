// The sequences of a database that hold each of a list of patterns, and so their support.
//
// A sequence holds a pattern when the pattern's events can be matched, in order and with gaps,
// to events of the sequence that contain them (itemset containment). Matching each pattern event
// to the earliest fitting event after the previous match finds an embedding whenever one exists.
// That event is found through the positions of the pattern event's rarest item, by binary search,
// rather than by scanning the sequence.
//
// Result files list patterns in search pre-order, so most lines extend a pattern a few lines
// above. A stack keeps, for each listed pattern on the current path, its supporting sequences
// and where in each the match of its last event starts; a line is matched only in the sequences
// of its longest listed prefix, from that point on. Where no such prefix exists, or where the
// rarest item of the line occurs in fewer sequences, the item-to-sequences index gives the
// candidates instead. Presence bits per item and sequence (kept when they are small enough) skip
// the prefix's sequences that lack one of the items the line adds, before any matching.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sequence_database.h"

namespace korvdatabase {

class SupportCounter {
public:
    explicit SupportCounter(const SequenceDatabase& db);

    // The sequences (ascending) that hold `pattern` (flat: each event's items then -1). The
    // span stays valid until the next call.
    std::span<const int32_t> supportingSequences(std::span<const int32_t> pattern);

private:
    struct Level {
        std::vector<int32_t> pattern;
        std::vector<int32_t> sequences;
        std::vector<int32_t> resume;  // per sequence: where the search for the last event starts
        std::vector<int32_t> after;   // per sequence: just after the event matched to the last event
    };
    // Matches the events of `pattern` from offset `firstEventOffset` on, from database position
    // `at` on; on success sets where the search for the last event began and where its match ended.
    // `sequenceEnd` is one past the sequence's -2.
    bool matches(std::span<const int32_t> pattern, std::size_t firstEventOffset, int32_t at, int32_t sequenceEnd,
                 int32_t& lastEventStart, int32_t& lastEventEnd) const;
    int32_t occurrences(int32_t item) const {
        return item > db_.largestItem ? 0 : positionStart_[std::size_t(item) + 1] - positionStart_[std::size_t(item)];
    }

    const SequenceDatabase& db_;
    std::vector<int32_t> indexStart_;     // per item: first entry in indexSequences_; size largest+2
    std::vector<int32_t> indexSequences_;  // per item, the sequences that contain it, ascending
    std::vector<int32_t> positionStart_;  // per item: first entry in positions_; size largest+2
    std::vector<int32_t> positions_;      // per item, every position where it occurs, ascending
    std::vector<uint64_t> itemBits_;  // item * bitWords_ + sequence / 64: sequence holds item; may be empty
    std::size_t bitWords_ = 0;
    std::vector<int32_t> newItems_;
    std::vector<Level> levels_;
    std::size_t depth_ = 0;
};

}  // namespace korvdatabase
