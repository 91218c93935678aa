#include "support/mining.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <set>
#include <stdexcept>
#include <utility>

#include "data_file.h"
#include "korv/korv.h"
#include "search_database.h"
#include "support/database.h"
#include "support/loopback_cluster.h"
#include "token_scanner.h"

namespace testsupport {

namespace {

void require(bool condition, const std::string& what) {
    if (!condition) throw std::logic_error(what);
}

// What every complete run must show, whichever miner and thread count.
void checkCounts(const Mined& mined, const korv::Progress& progress, const MiningSettings& settings) {
    const auto found = settings.countOnly ? mined.closedCount : int64_t(mined.found.patterns.size());
    require(mined.closedCount == found, "closed count " + std::to_string(mined.closedCount) + ", found " +
                                            std::to_string(found));
    require(std::accumulate(mined.histogram.begin(), mined.histogram.end(), int64_t{0}) == found,
            "the histogram does not count the patterns found");
    require(progress.closedFound.load() == found, "progress counted " + std::to_string(progress.closedFound.load()) +
                                                      " closed patterns, found " + std::to_string(found));
    require(progress.itemsDone.load() == progress.itemsTotal.load(), "progress ended before every item was done");
}

// korv::mine as the settings ask: in this process alone, or as the leader of a loopback cluster
// whose followers mine the same database.
korv::MineSummary mineAsSet(const korv::Database& database, korv::MineOptions options, const MiningSettings& settings,
                            const korv::PatternCallback& onPattern) {
    const korv::PatternCallback& callback = settings.countOnly ? korv::PatternCallback{} : onPattern;
    if (settings.followers.empty()) return korv::mine(database, options, callback);
    korv::MineSummary summary;
    runOnLoopback(
        settings.followers,
        [&](korvcore::ClusterLink& leader) {
            options.cluster = &leader;
            summary = korv::mine(database, options, callback);
        },
        [&](korvcore::ClusterLink& follower, int32_t threads) {
            korv::mine(database, {.threshold = options.threshold, .threads = threads, .cluster = &follower}, nullptr);
        });
    return summary;
}

}  // namespace

FoundPatterns inKeyOrder(const std::map<std::vector<int32_t>, int32_t>& patterns) {
    FoundPatterns found;
    for (const auto& [pattern, count] : patterns) found.add(pattern, count);
    return found;
}

LoadedFile loadBytes(const std::string& bytes) {
    LoadedFile loaded{{-2}, {}};
    korvplus::SequenceWordDecoder decoder(loaded.sequenceData);
    decoder.feed(std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
    loaded.figures = decoder.figures();
    return loaded;
}

LoadedFile loadWords(const std::vector<int32_t>& words) { return loadBytes(littleEndianBytes(words)); }

Mined mineKorvplus(const std::vector<int32_t>& words, int32_t minSupport, const MiningSettings& settings) {
    LoadedFile loaded = loadWords(words);
    require(keepsSearchDatabaseInvariants(searchDatabaseOf(loaded)), "the prepared database breaks its invariants");
    loaded.sequenceData.erase(loaded.sequenceData.begin());  // the leading -2
    Mined mined;
    korv::Progress progress;
    const korv::MineSummary summary =
        mineAsSet(korv::Database::fromBinaryWords(std::move(loaded.sequenceData)),
                  {.threshold = korv::Threshold::absolute(std::max(minSupport, 1)), .threads = settings.threads,
                   .progress = &progress, .splitAtEveryNode = settings.stress,
                   .bufferLimitBytes = settings.stress ? 64 : korv::MineOptions{}.bufferLimitBytes},
                  settings, [&](const korv::Pattern& pattern) {
                       mined.found.add(pattern.flat, int32_t(pattern.itemCount()));
                       return true;
                   });
    require(!summary.stopped, "the search stopped though nothing asked it to");
    mined.closedCount = summary.closed;
    mined.histogram.assign(summary.byLength.begin() + 1, summary.byLength.end());
    if (mined.histogram.size() < std::size_t(loaded.figures.maxSequenceItems))
        mined.histogram.resize(std::size_t(loaded.figures.maxSequenceItems), 0);
    for (std::size_t k = 0; k < mined.found.patterns.size(); ++k) {
        const std::vector<int32_t>& pattern = mined.found.patterns[k];
        require(std::count_if(pattern.begin(), pattern.end(), [](int32_t value) { return value >= 0; }) ==
                    mined.found.counts[k],
                "pattern " + std::to_string(k) + " came with a wrong item count");
    }
    checkCounts(mined, progress, settings);
    return mined;
}

Mined mineKorv(const std::string& text, int32_t sequenceCount, int32_t absSupport, const MiningSettings& settings) {
    korv::token_scanner scanner(text);
    korv::data_file_contents contents;
    require(korv::load_sequences(scanner, sequenceCount, contents) == korv::load_status::ok,
            "the data text does not load");
    return mineKorv(std::vector<int32_t>(contents.runs.begin(), contents.runs.end()), absSupport, settings);
}

Mined mineKorv(const std::vector<int32_t>& runs, int32_t absSupport, const MiningSettings& settings) {
    // The frequent items, counted here to check the progress counters against.
    std::map<int32_t, std::set<std::size_t>> sequencesOf;
    std::size_t sequence = 0;
    for (std::size_t p = 1; p < runs.size(); ++p) {
        if (runs[p] < 0)
            ++sequence;
        else
            sequencesOf[runs[p]].insert(sequence);
    }
    const auto frequentItems = std::count_if(sequencesOf.begin(), sequencesOf.end(), [&](const auto& entry) {
        return int32_t(entry.second.size()) >= absSupport;
    });

    Mined mined;
    korv::Progress progress;
    const korv::MineSummary summary =
        mineAsSet(korv::Database::fromItemRuns(korv::ItemRuns(runs.begin(), runs.end())),
                  {.threshold = korv::Threshold::absolute(std::max(absSupport, 1)), .threads = settings.threads,
                   .progress = &progress, .splitAtEveryNode = settings.stress,
                   .bufferLimitBytes = settings.stress ? 64 : korv::MineOptions{}.bufferLimitBytes},
                  settings, [&](const korv::Pattern& pattern) {
                       std::vector<int32_t> items;
                       for (const int32_t value : pattern.flat)
                           if (value >= 0) items.push_back(value);
                       mined.found.add(items, pattern.support);
                       return true;
                   });
    require(!summary.stopped, "the search stopped though the sink never asked it to");
    require(progress.itemsTotal.load() == int32_t(frequentItems), "progress counts other items than the frequent ones");
    mined.histogram = summary.byLength;
    while (!mined.histogram.empty() && mined.histogram.back() == 0) mined.histogram.pop_back();
    mined.closedCount = std::accumulate(mined.histogram.begin(), mined.histogram.end(), int64_t{0});
    require(mined.closedCount == summary.closed, "the summary's count disagrees with its histogram");
    checkCounts(mined, progress, settings);
    return mined;
}

korvplus::SearchDatabase searchDatabaseOf(const LoadedFile& loaded) {
    const std::vector<int32_t> words(loaded.sequenceData.begin() + 1, loaded.sequenceData.end());
    return korvplus::prepareSearchDatabase(korv::Database::fromBinaryWords(words).words(),
                                           loaded.figures.largestItemId);
}

bool keepsSearchDatabaseInvariants(const korvplus::SearchDatabase& database) {
    const std::vector<int32_t>& v = database.values;
    if (v.empty() || v.front() != -2 || v.back() != -2) return false;
    if (v.size() > std::size_t(std::numeric_limits<int32_t>::max())) return false;
    for (std::size_t i = 1; i < database.originalIds.size(); ++i)
        if (database.originalIds[i - 1] >= database.originalIds[i]) return false;
    for (std::size_t i = 1; i < v.size(); ++i) {
        if (v[i] >= 0) {
            if (v[i] >= database.itemCount()) return false;
            if (v[i - 1] >= 0 && database.singleItemEvents) return false;
        } else if (v[i] == -1) {
            if (v[i - 1] < 0) return false;
        } else if (v[i] != -2 || v[i - 1] != -1) {
            return false;
        }
    }
    return true;
}

bool keepsCompactDatabaseInvariants(const korvcore::CompactDatabase& database) {
    const korvcore::CheckedVector<int32_t>& items = database.items;
    if (items.empty() || items.front() != -1 || items.back() != -1 || items.size() > std::size_t(INT32_MAX))
        return false;
    std::size_t mark = 0;
    for (std::size_t p = 0; p + 1 < items.size(); ++p) {
        if (items[p] >= database.itemCount || items[p] < -1) return false;
        if (items[p] != -1) continue;
        if (mark >= database.sequenceMarks.size() || database.sequenceMarks[mark] != int32_t(p)) return false;
        ++mark;
    }
    if (mark != database.sequenceMarks.size()) return false;
    korvcore::CompactDatabase relinked{items, {}, database.sequenceMarks, database.itemCount, true};
    korvcore::linkRepeatedItems(relinked);
    return relinked.uniqueItems == database.uniqueItems && relinked.nextSame == database.nextSame;
}

}  // namespace testsupport
