// The sequences of a database that contain each of a list of patterns, as `korvdb support`
// counts them.
//
// A pattern is contained in a sequence when its events can be matched, in order with gaps, to
// events of the sequence that hold them. Patterns are counted fastest in the order the miners
// write them, where a pattern follows the ones it extends: each is then matched only in the
// sequences of the longest pattern before it that it extends, from where that one matched.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "korv/database.h"

namespace korv {

class SupportCounter {
public:
    // Counts in `database`, which must stay unchanged while the counter is in use.
    explicit SupportCounter(const Database& database);
    ~SupportCounter();
    SupportCounter(SupportCounter&& other) noexcept;
    SupportCounter& operator=(SupportCounter&& other) noexcept;

    // The numbers (0-based, ascending) of the sequences that contain `pattern`, given flat as
    // Pattern::flat is: each event's items, ascending, then -1. Its size is the support. The
    // span stays valid until the next call. Throws korv::Error when `pattern` is not of that
    // form (no event, an event without items, or a negative value other than -1).
    std::span<const int32_t> supportingSequences(std::span<const int32_t> pattern);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace korv
