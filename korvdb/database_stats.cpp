#include "database_stats.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace korvdb {

namespace {

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

}  // namespace

std::string describeDatabase(const SequenceDatabase& db) {
    const std::size_t sequences = db.sequenceCount();
    int64_t events = 0;
    int64_t items = 0;
    int64_t longestItems = 0;
    int64_t longestEvents = 0;
    int64_t largestEvent = 0;
    int64_t distinct = 0;
    std::vector<int64_t> buckets;  // bucket b: lengths in [2^(b-1), 2^b), bucket 0: length 0
    std::vector<bool> seen(std::size_t(db.largestItem) + 1, false);
    for (std::size_t s = 0; s < sequences; ++s) {
        int64_t sequenceItems = 0;
        int64_t sequenceEvents = 0;
        int64_t eventItems = 0;
        for (uint32_t k = db.sequenceStart[s]; k + 1 < db.sequenceStart[s + 1]; ++k) {
            const int32_t value = db.words[k];
            if (value >= 0) {
                ++eventItems;
                if (!seen[std::size_t(value)]) {
                    seen[std::size_t(value)] = true;
                    ++distinct;
                }
                continue;
            }
            ++sequenceEvents;
            sequenceItems += eventItems;
            largestEvent = std::max(largestEvent, eventItems);
            eventItems = 0;
        }
        events += sequenceEvents;
        items += sequenceItems;
        longestItems = std::max(longestItems, sequenceItems);
        longestEvents = std::max(longestEvents, sequenceEvents);
        std::size_t bucket = 0;
        while (bucket < 63 && (int64_t(1) << bucket) <= sequenceItems) ++bucket;
        if (buckets.size() <= bucket) buckets.resize(bucket + 1, 0);
        ++buckets[bucket];
    }

    std::string out;
    auto line = [&out](const std::string& label, const std::string& value) { out += label + value + "\n"; };
    line("sequences:          ", std::to_string(sequences));
    line("events:             ", std::to_string(events));
    line("items:              ", std::to_string(items));
    line("distinct items:     ", std::to_string(distinct));
    line("largest id:         ", std::to_string(db.largestItem));
    line("longest sequence:   ", std::to_string(longestItems) + " items, " + std::to_string(longestEvents) + " events");
    line("items per event:    ",
         (events > 0 ? format("%.2f", double(items) / double(events)) : std::string("0")) + " on average, " +
             std::to_string(largestEvent) + " at most");
    line("items per sequence: ", sequences > 0 ? format("%.2f", double(items) / double(sequences)) : "0");
    out += "\nrelative support  korvplus threshold  korv threshold\n";
    for (double relative : {0.5, 0.1, 0.05, 0.01, 0.005, 0.001, 0.0005}) {
        const double product = double(sequences) * relative;
        out += format("%-18g", relative) + format("%-20.0f", double(int64_t(product))) +
               format("%.0f", std::max(1.0, double(int64_t(product + 0.5)))) + "\n";
    }
    out += "\nitems per sequence  sequences\n";
    const int64_t widest = buckets.empty() ? 0 : *std::max_element(buckets.begin(), buckets.end());
    for (std::size_t bucket = 0; bucket < buckets.size(); ++bucket) {
        const int64_t low = bucket == 0 ? 0 : int64_t(1) << (bucket - 1);
        const int64_t high = bucket == 0 ? 0 : (int64_t(1) << bucket) - 1;
        std::string range = low == high ? std::to_string(low) : std::to_string(low) + "-" + std::to_string(high);
        range.resize(std::max<std::size_t>(range.size(), 20), ' ');
        std::string count = std::to_string(buckets[bucket]);
        count.resize(std::max<std::size_t>(count.size(), 10), ' ');
        const auto bar = std::size_t(widest > 0 ? (buckets[bucket] * 40 + widest - 1) / widest : 0);
        out += range + count + std::string(bar, '#') + "\n";
    }
    return out;
}

}  // namespace korvdb
