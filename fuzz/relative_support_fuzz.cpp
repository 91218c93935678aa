// libFuzzer target for the relative support argument of both programs: the first four bytes are
// a sequence count (any int32), the rest is the argument text, read as atof reads it. korvplus
// truncates count × support; korv and korvdump truncate count × support + 0.5 (and then take at
// least 1). Each rule must hold exactly, clamped to the int32 range (NaN counts as 0), and the
// argument is also formatted for korvplus's report.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "korv/mining.h"
#include "run_driver.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// `value` truncated toward zero and clamped to int32, computed in long double.
int32_t truncatedClamped(double value) {
    if (std::isnan(value)) return 0;
    const long double truncated = std::trunc(static_cast<long double>(value));
    if (truncated >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (truncated <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(truncated);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 4) return 0;
    uint32_t bits = 0;
    std::memcpy(&bits, bytes, 4);
    const auto sequenceCount = static_cast<int32_t>(bits);
    const std::string argument(reinterpret_cast<const char*>(bytes) + 4, size - 4);

    const double relativeSupport = std::atof(argument.c_str());
    const double product = double(sequenceCount) * relativeSupport;
    require(korv::absoluteSupport(sequenceCount, relativeSupport, korv::Rounding::truncated) ==
            truncatedClamped(product));
    require(korv::absoluteSupport(sequenceCount, relativeSupport, korv::Rounding::roundedHalfUp) ==
            truncatedClamped(product + 0.5));

    const std::string printed = korvplus::formatGeneral(relativeSupport, 6);
    require(!printed.empty() && printed.size() < 64);
    return 0;
}
