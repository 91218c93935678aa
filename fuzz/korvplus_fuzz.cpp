// libFuzzer target: arbitrary bytes as a binary sequence file, straight into the loader, then
// the search database; small inputs are also mined, at a threshold taken from the first byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "binary_loader.h"
#include "search_database.h"
#include "sequence_miner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) return 0;
    const int32_t minSupport = int32_t(bytes[0] % 5) - 1;
    std::vector<int32_t> sequenceData{-2};
    const korvplus::LoadFigures figures =
        korvplus::loadSequenceBytes(sequenceData, std::span(bytes + 1, size - 1));
    korvplus::SearchDatabase database = korvplus::prepareSearchDatabase(sequenceData, figures.largestItemId);
    if (!korvplus::checkSearchDatabase(database)) std::abort();
    if (database.values.size() > 96) return 0;  // keeps every run short

    int64_t written = 0;
    korvplus::SequenceMiner miner(std::move(database), minSupport, figures.maxSequenceItems,
                                  [&written](std::span<const int32_t>, int32_t) { ++written; });
    miner.mineClosedPatterns();
    if (written != miner.closedCount()) std::abort();
    return 0;
}
