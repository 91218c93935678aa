#include "korv/support.h"

#include <string>

#include "database_data.h"
#include "korv/error.h"
#include "pattern_support.h"

namespace korv {

// The counter reads the events form, which `events` keeps for it.
struct SupportCounter::State {
    explicit State(const DatabaseAccess::Data& data) : events(data), counter(events.db()) {}
    EventsForm events;
    korvdatabase::SupportCounter counter;
};

SupportCounter::SupportCounter(const Database& database)
    : state_(std::make_unique<State>(DatabaseAccess::data(database))) {}
SupportCounter::~SupportCounter() = default;
SupportCounter::SupportCounter(SupportCounter&& other) noexcept = default;
SupportCounter& SupportCounter::operator=(SupportCounter&& other) noexcept = default;

std::span<const int32_t> SupportCounter::supportingSequences(std::span<const int32_t> pattern) {
    // The counter relies on each event ending with -1 and holding an item.
    const char* problem = pattern.empty() ? "a pattern needs an event" : nullptr;
    for (std::size_t k = 0; k < pattern.size() && problem == nullptr; ++k) {
        if (pattern[k] < -1)
            problem = "a pattern holds items (0 or more) and -1 after each event";
        else if (pattern[k] == -1 && (k == 0 || pattern[k - 1] == -1))
            problem = "a pattern event without items";
    }
    if (problem == nullptr && pattern.back() != -1) problem = "a pattern's last event is not ended by -1";
    if (problem != nullptr) throw Error(problem);
    return state_->counter.supportingSequences(pattern);
}

}  // namespace korv
