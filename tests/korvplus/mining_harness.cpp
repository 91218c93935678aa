#include "mining_harness.h"

#include <span>
#include <stdexcept>

#include "pattern_file.h"
#include "search_database.h"
#include "sequence_miner.h"
#include "support/database.h"

namespace harness {

MiningOutcome mineWords(const std::vector<int32_t>& words, int32_t minSupport) {
    MiningOutcome outcome;
    const std::string bytes = testsupport::littleEndianBytes(words);
    std::vector<int32_t> sequenceData{-2};
    outcome.figures = korvplus::loadSequenceBytes(
        sequenceData, std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
    korvplus::SearchDatabase database = korvplus::prepareSearchDatabase(sequenceData, outcome.figures.largestItemId);
    if (!korvplus::checkSearchDatabase(database)) throw std::logic_error("prepared database breaks its invariants");
    korvplus::SequenceMiner miner(std::move(database), minSupport, outcome.figures.maxSequenceItems,
                                  [&](std::span<const int32_t> pattern, int32_t) {
                                      outcome.patterns.emplace_back(pattern.begin(), pattern.end());
                                  });
    miner.mineClosedPatterns();
    outcome.closedCount = miner.closedCount();
    outcome.lengthHistogram = miner.lengthHistogram();
    return outcome;
}

std::string patternFileText(const std::vector<std::vector<int32_t>>& patterns) {
    std::string text;
    for (const auto& pattern : patterns) korvplus::appendPatternLine(text, pattern);
    return text;
}

}  // namespace harness
