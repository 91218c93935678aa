// Runs the korvplus library in-process on words given inline, the way the program does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binary_loader.h"

namespace harness {

struct MiningOutcome {
    korvplus::LoadFigures figures;
    std::vector<std::vector<int32_t>> patterns;  // in written order, file ids
    int64_t closedCount = 0;
    std::vector<int64_t> lengthHistogram;
};

// Loads the bytes of `words` after the leading -2, prepares and mines at `minSupport`.
MiningOutcome mineWords(const std::vector<int32_t>& words, int32_t minSupport);

// The lines of "ClosedPatterns.txt" for `patterns`, concatenated.
std::string patternFileText(const std::vector<std::vector<int32_t>>& patterns);

}  // namespace harness
