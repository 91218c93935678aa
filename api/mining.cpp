#include "korv/mining.h"

#include <cmath>
#include <limits>
#include <optional>

#include "database_data.h"
#include "korv/error.h"
#include "pattern_support.h"
#include "search_database.h"
#include "database_search.h"
#include "single_item_search.h"
#include "thread_setting.h"

namespace korv {

int32_t absoluteSupport(int64_t sequenceCount, double relative, Rounding rounding) {
    double product = double(sequenceCount) * relative;
    if (rounding == Rounding::roundedHalfUp) product += 0.5;
    if (std::isnan(product)) return 0;
    if (product >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (product <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(product);
}

Threshold Threshold::absolute(int64_t sequences) {
    if (sequences < 1) throw Error("the support must be at least 1 sequence, not " + std::to_string(sequences));
    return Threshold(sequences, 0.0, Rounding::truncated, false);
}

Threshold Threshold::relative(double fraction, Rounding rounding) {
    if (!(fraction > 0.0 && fraction <= 1.0))
        throw Error("a relative support must be a fraction in (0, 1], not " + std::to_string(fraction));
    return Threshold(0, fraction, rounding, true);
}

int32_t Threshold::resolve(std::size_t sequenceCount) const {
    if (!relative_) return int32_t(std::min<int64_t>(count_, std::numeric_limits<int32_t>::max()));
    return std::max(absoluteSupport(int64_t(sequenceCount), fraction_, rounding_), 1);
}

std::size_t Pattern::itemCount() const {
    std::size_t items = 0;
    for (const int32_t value : flat) items += value >= 0 ? 1 : 0;
    return items;
}

std::vector<Event> Pattern::events() const {
    std::vector<Event> events(1);
    for (const int32_t value : flat) {
        if (value >= 0)
            events.back().push_back(value);
        else
            events.emplace_back();
    }
    events.pop_back();
    return events;
}

namespace {

// The parts of a run both database forms share: the options, the mapping of dense ids back to
// the database's ids, supporting sequences and the summary.
class MiningRun {
public:
    MiningRun(const MineOptions& options, const PatternCallback& onPattern, std::size_t sequenceCount)
        : options_(options), onPattern_(onPattern) {
        if (options.threads < 0) throw Error("the number of threads must be 0 or more");
        summary_.minSupport = options.threshold.resolve(sequenceCount);
    }

    int32_t minSupport() const { return summary_.minSupport; }

    // Supporting sequences are counted over `db` (events form), which must outlive the run.
    void countSupportingSequencesIn(const korvdatabase::SequenceDatabase& db) { counter_.emplace(db); }

    // Searches with `search(sink, searchOptions)`; the sink maps dense ids through originalIds.
    template <class Search>
    MineSummary run(std::span<const int32_t> originalIds, Search&& search) {
        // Without a callback the run only counts, which needs no sink (search_run.h).
        korvcore::PatternSink sink;
        if (onPattern_)
            sink = [&](std::span<const int32_t> pattern, int32_t, int32_t support) {
                fileIds_.clear();
                for (const int32_t value : pattern) fileIds_.push_back(value < 0 ? value : originalIds[std::size_t(value)]);
                Pattern found{fileIds_, support, {}};
                if (counter_) found.sequences = counter_->supportingSequences(fileIds_);
                return onPattern_(found);
            };
        const korvcore::SearchOptions searchOptions{
            .threads = options_.threads == 0 ? korvcore::availableCpus() : options_.threads,
            .progress = options_.progress,
            .bufferLimitBytes = options_.bufferLimitBytes,
            .splitAtEveryNode = options_.splitAtEveryNode,
            .stop = options_.stop,
            .cluster = options_.cluster,
            .trace = options_.trace};
        const korvcore::SearchTotals totals = search(sink, searchOptions);
        summary_.closed = totals.closed;
        summary_.byLength.assign(totals.byDepth.size() + 1, 0);
        for (std::size_t d = 0; d < totals.byDepth.size(); ++d) summary_.byLength[d + 1] = totals.byDepth[d];
        summary_.stopped = totals.stopped;
        return summary_;
    }

private:
    const MineOptions& options_;
    const PatternCallback& onPattern_;
    MineSummary summary_;
    std::optional<korvdatabase::SupportCounter> counter_;
    std::vector<int32_t> fileIds_;
};

// Mines `data`. `usedOnce` (may be null) is `data` of a database used once: its storage is then
// released, or taken over, as early as the search allows.
MineSummary mineData(const DatabaseAccess::Data& data, DatabaseAccess::Data* usedOnce, const MineOptions& options,
                     const PatternCallback& onPattern) {
    MiningRun run(options, onPattern, data.itemRuns ? data.runMarks.size() : data.db.sequenceCount());
    std::optional<EventsForm> events;
    if (options.supportingSequences) run.countSupportingSequencesIn(events.emplace(data).db());

    if (data.itemRuns) {
        // The runs become the search's compact database, in place when they are used once.
        korvcore::CompactDatabase compact;
        if (usedOnce != nullptr)
            compact.items = std::move(usedOnce->runs);
        else
            compact.items = data.runs;
        const korvcore::CheckedVector<int32_t> originalIds =
            korvcore::keepFrequentItems(compact, data.runsLargestItem, run.minSupport());
        return run.run(originalIds, [&](const korvcore::PatternSink& sink, const korvcore::SearchOptions& searchOptions) {
            return korvcore::mineSingleItems(compact, run.minSupport(), sink, searchOptions);
        });
    }

    // A database used once gives its words to the search (supporting sequences still read them).
    korvplus::SearchDatabase search =
        usedOnce != nullptr && !options.supportingSequences
            ? korvplus::prepareSearchDatabase(std::move(usedOnce->db.words), data.db.largestItem)
            : korvplus::prepareSearchDatabase(std::vector<int32_t>(data.db.words), data.db.largestItem);
    return run.run(search.originalIds, [&](const korvcore::PatternSink& sink, const korvcore::SearchOptions& searchOptions) {
        return korvplus::searchDatabase(search, run.minSupport(), sink, searchOptions);
    });
}

}  // namespace

MineSummary mine(const Database& database, const MineOptions& options, const PatternCallback& onPattern) {
    return mineData(DatabaseAccess::data(database), nullptr, options, onPattern);
}

MineSummary mine(Database&& database, const MineOptions& options, const PatternCallback& onPattern) {
    DatabaseAccess::Data& data = DatabaseAccess::data(database);
    // The search takes the storage over; the database is left empty, whatever happens.
    struct Emptied {
        DatabaseAccess::Data& data;
        ~Emptied() { data = DatabaseAccess::Data{}; }
    } emptied{data};
    return mineData(data, &data, options, onPattern);
}

}  // namespace korv
