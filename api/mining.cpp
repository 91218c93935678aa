#include "korv/mining.h"

#include <cmath>
#include <limits>
#include <optional>

#include "database_data.h"
#include "korv/error.h"
#include "pattern_support.h"
#include "search_database.h"
#include "database_search.h"
#include "thread_setting.h"

namespace korv {

int32_t absoluteSupport(std::size_t sequenceCount, double relative, Rounding rounding) {
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
    return std::max(absoluteSupport(sequenceCount, fraction_, rounding_), 1);
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

// Mines `db`; `release` (may be null) is db.words of a database used once, released as soon as
// the search has its own form of them unless supporting sequences need them.
MineSummary mineDatabase(const korvdb::SequenceDatabase& db, std::vector<int32_t>* release, const MineOptions& options,
                         const PatternCallback& onPattern) {
    if (options.threads < 0) throw Error("the number of threads must be 0 or more");
    MineSummary summary;
    summary.minSupport = options.threshold.resolve(db.sequenceCount());

    korvplus::SearchDatabase search = korvplus::prepareSearchDatabase(db.words, db.largestItem);
    if (release != nullptr && !options.supportingSequences) std::vector<int32_t>().swap(*release);

    std::optional<korvdb::SupportCounter> counter;
    if (options.supportingSequences) counter.emplace(db);
    std::vector<int32_t> fileIds;
    const korvcore::PatternSink sink = [&](std::span<const int32_t> pattern, int32_t, int32_t support) {
        fileIds.clear();
        for (const int32_t value : pattern)
            fileIds.push_back(value < 0 ? value : search.originalIds[std::size_t(value)]);
        Pattern found{fileIds, support, {}};
        if (counter) found.sequences = counter->supportingSequences(fileIds);
        return onPattern ? onPattern(found) : true;
    };
    const korvcore::SearchOptions searchOptions{
        .threads = options.threads == 0 ? korvcore::availableCpus() : options.threads,
        .progress = options.progress,
        .bufferLimitBytes = options.bufferLimitBytes,
        .splitAtEveryNode = options.splitAtEveryNode,
        .stop = options.stop};
    const korvcore::SearchTotals totals =
        korvplus::searchDatabase(search, summary.minSupport, sink, searchOptions);
    summary.closed = totals.closed;
    summary.byLength.assign(totals.byDepth.size() + 1, 0);
    for (std::size_t d = 0; d < totals.byDepth.size(); ++d) summary.byLength[d + 1] = totals.byDepth[d];
    summary.stopped = totals.stopped;
    return summary;
}

}  // namespace

MineSummary mine(const Database& database, const MineOptions& options, const PatternCallback& onPattern) {
    return mineDatabase(DatabaseAccess::data(database).db, nullptr, options, onPattern);
}

MineSummary mine(Database&& database, const MineOptions& options, const PatternCallback& onPattern) {
    korvdb::SequenceDatabase& db = DatabaseAccess::data(database).db;
    return mineDatabase(db, &db.words, options, onPattern);
}

}  // namespace korv
