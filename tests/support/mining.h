// Both miners run in process as their programs run them, serially or on threads, for the tests
// and the fuzz targets. Every run checks what holds whatever the data: the database read keeps
// its invariants, and the closed count, histogram, item counts and progress counters agree with
// the patterns handed over. A failed check throws std::logic_error, which fails a test and
// aborts a fuzz target.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "binary_loader.h"
#include "compact_database.h"
#include "search_database.h"

namespace testsupport {

// The closed patterns a miner hands over, in that order, each with the count that comes with
// it: korvplus gives flat patterns and their numbers of items, korv item lists and their supports.
struct FoundPatterns {
    std::vector<std::vector<int32_t>> patterns;
    std::vector<int32_t> counts;  // counts[k] came with patterns[k]

    void add(std::span<const int32_t> pattern, int32_t count) {
        patterns.emplace_back(pattern.begin(), pattern.end());
        counts.push_back(count);
    }
    bool operator==(const FoundPatterns&) const = default;
};

// Patterns with their supports in key order, the order in which korv finds them.
FoundPatterns inKeyOrder(const std::map<std::vector<int32_t>, int32_t>& patterns);

struct MiningSettings {
    int32_t threads = 1;  // 1 runs the serial search
    // The threaded search at its most contended: every node hands its remaining siblings over,
    // and at most 64 bytes of found patterns may wait for their turn.
    bool stress = false;
    // A cluster run in this process (loopback_cluster.h): the threads of each other process,
    // which mine beside this one's `threads`; empty runs no cluster.
    std::vector<int32_t> followers = {};
    // No callback: the run only counts, and `found` stays empty.
    bool countOnly = false;
};

struct Mined {
    FoundPatterns found;
    int64_t closedCount = 0;
    // korvplus: slot d counts patterns of d + 1 items, one slot per item of the longest sequence.
    // korv: slot k counts patterns of k items (slot 0 stays 0), without trailing empty slots,
    // whose number depends on how deep each thread went.
    std::vector<int64_t> histogram;
    bool operator==(const Mined&) const = default;
};

// What korvplus loads from a file of these bytes, or of these words: -2, then the words, and
// their figures.
struct LoadedFile {
    std::vector<int32_t> sequenceData;
    korvplus::LoadFigures figures;
};

// The search database korvplus mines from `loaded`, as the library prepares it.
korvplus::SearchDatabase searchDatabaseOf(const LoadedFile& loaded);

// True when `database` keeps every invariant stated in search_database.h.
bool keepsSearchDatabaseInvariants(const korvplus::SearchDatabase& database);

// True when `database` keeps every invariant stated in compact_database.h.
bool keepsCompactDatabaseInvariants(const korvcore::CompactDatabase& database);

LoadedFile loadBytes(const std::string& bytes);
LoadedFile loadWords(const std::vector<int32_t>& words);

// korvplus at `minSupport` (absolute; below 1 mines as 1) on a file holding `words`, as the
// program mines it: through the korv library.
Mined mineKorvplus(const std::vector<int32_t>& words, int32_t minSupport, const MiningSettings& settings = {});

// korv at `absSupport` on a data text read for `sequenceCount` sequences, or on sequences read
// (item runs as korv::Database::fromItemRuns takes them), through the korv library as the
// program mines.
Mined mineKorv(const std::string& text, int32_t sequenceCount, int32_t absSupport, const MiningSettings& settings = {});
Mined mineKorv(const std::vector<int32_t>& runs, int32_t absSupport, const MiningSettings& settings = {});

}  // namespace testsupport
