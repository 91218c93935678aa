#include "statistics_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "korv/mining.h"

namespace korvdb {

namespace {

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

}  // namespace

std::string describeStatistics(const korv::DatabaseStatistics& figures) {
    std::string out;
    auto line = [&out](const std::string& label, const std::string& value) { out += label + value + "\n"; };
    line("sequences:          ", std::to_string(figures.sequences));
    line("events:             ", std::to_string(figures.events));
    line("items:              ", std::to_string(figures.items));
    line("distinct items:     ", std::to_string(figures.distinctItems));
    line("largest id:         ", std::to_string(figures.largestItem));
    line("longest sequence:   ", std::to_string(figures.longestSequenceItems) + " items, " +
                                     std::to_string(figures.longestSequenceEvents) + " events");
    line("items per event:    ",
         (figures.events > 0 ? format("%.2f", double(figures.items) / double(figures.events)) : std::string("0")) +
             " on average, " + std::to_string(figures.largestEvent) + " at most");
    line("items per sequence: ",
         figures.sequences > 0 ? format("%.2f", double(figures.items) / double(figures.sequences)) : "0");
    out += "\nrelative support  korvplus threshold  korv threshold\n";
    for (double relative : {0.5, 0.1, 0.05, 0.01, 0.005, 0.001, 0.0005}) {
        // korvplus truncates; korv rounds half up and asks for at least one sequence.
        const int32_t korvplusThreshold = korv::absoluteSupport(figures.sequences, relative, korv::Rounding::truncated);
        const int32_t korvThreshold =
            korv::Threshold::relative(relative, korv::Rounding::roundedHalfUp).resolve(std::size_t(figures.sequences));
        out += format("%-18g", relative) + format("%-20.0f", double(korvplusThreshold)) +
               format("%.0f", double(korvThreshold)) + "\n";
    }
    out += "\nitems per sequence  sequences\n";
    const std::vector<int64_t>& buckets = figures.sequencesByLength;
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
