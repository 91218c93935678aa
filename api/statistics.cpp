#include "korv/statistics.h"

#include <algorithm>

#include "database_data.h"

namespace korv {

DatabaseStatistics statistics(const Database& database) {
    const DatabaseAccess::Data& data = DatabaseAccess::data(database);
    const EventsForm events(data);
    const korvdatabase::SequenceDatabase& db = events.db();

    DatabaseStatistics figures;
    figures.sequences = int64_t(db.sequenceCount());
    figures.largestItem = db.largestItem;
    std::vector<bool> seen(std::size_t(db.largestItem) + 1, false);
    for (std::size_t s = 0; s < db.sequenceCount(); ++s) {
        int64_t sequenceItems = 0;
        int64_t sequenceEvents = 0;
        int64_t eventItems = 0;
        for (uint32_t k = db.sequenceStart[s]; k + 1 < db.sequenceStart[s + 1]; ++k) {
            const int32_t value = db.words[k];
            if (value >= 0) {
                ++eventItems;
                if (!seen[std::size_t(value)]) {
                    seen[std::size_t(value)] = true;
                    ++figures.distinctItems;
                }
                continue;
            }
            ++sequenceEvents;
            sequenceItems += eventItems;
            figures.largestEvent = std::max(figures.largestEvent, eventItems);
            eventItems = 0;
        }
        figures.events += sequenceEvents;
        figures.items += sequenceItems;
        figures.longestSequenceItems = std::max(figures.longestSequenceItems, sequenceItems);
        figures.longestSequenceEvents = std::max(figures.longestSequenceEvents, sequenceEvents);
        // Bucket b holds lengths below 2^b (and from 2^(b-1) on).
        std::size_t bucket = 0;
        while (bucket < 63 && (int64_t(1) << bucket) <= sequenceItems) ++bucket;
        if (figures.sequencesByLength.size() <= bucket) figures.sequencesByLength.resize(bucket + 1, 0);
        ++figures.sequencesByLength[bucket];
    }
    return figures;
}

}  // namespace korv
