// libFuzzer target for korvplus: the first byte picks the threshold, the rest is a binary
// sequence file. Every input goes through the loader and the search database; small ones are
// mined (mineKorvplus checks the counts against the written patterns on the way), and the
// written patterns are checked against the brute-force oracle (closedOutputError). When bit 6
// of the first byte is set, a search on several threads must write the same lines in the same
// order, with the same counts.
// A failed check aborts, so libFuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "binary_loader.h"
#include "search_database.h"
#include "support/closed_oracle.h"
#include "support/mining.h"

namespace {

// The oracle's search grows with the longest sequence; 9 items keep every input fast.
constexpr std::size_t kMaxOracleItemsPerSequence = 9;

void require(bool condition) {
    if (!condition) std::abort();
}

// The database the words stand for, by the documented reading of words outside the format:
// values below -2 are dropped, a -2 closes an open event, empty events and words after the last
// -2 are dropped. False when an event is not strictly ascending (the search expects sorted
// events) or a sequence is too long for the oracle.
bool readDatabase(std::span<const int32_t> words, testsupport::Database& database) {
    testsupport::Sequence sequence;
    testsupport::Event event;
    bool checkable = true;
    std::size_t items = 0;
    for (const int32_t word : words) {
        if (word >= 0) {
            checkable = checkable && (event.empty() || event.back() < word);
            event.push_back(word);
            ++items;
        } else if (word == -1 || word == -2) {
            if (!event.empty()) sequence.push_back(std::move(event));
            event.clear();
            if (word == -2) {
                checkable = checkable && items <= kMaxOracleItemsPerSequence;
                database.push_back(std::move(sequence));
                sequence.clear();
                items = 0;
            }
        }
    }
    return checkable;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) return 0;
    const int32_t minSupport = int32_t(bytes[0] % 6) - 1;
    const testsupport::LoadedFile loaded =
        testsupport::loadBytes(std::string(reinterpret_cast<const char*>(bytes + 1), size - 1));
    const std::vector<int32_t>& sequenceData = loaded.sequenceData;
    const korvplus::SearchDatabase database = testsupport::searchDatabaseOf(loaded);
    require(testsupport::keepsSearchDatabaseInvariants(database));
    if (database.values.size() > 96) return 0;  // keeps every run short

    const std::vector<int32_t> words(sequenceData.begin() + 1, sequenceData.end());
    const testsupport::Mined mined = testsupport::mineKorvplus(words, minSupport);

    // Several threads, each node handing its children over and almost no room for lines waiting
    // their turn. Starting threads costs more than a small search, hence only on request.
    if ((bytes[0] & 0x40) != 0) {
        require(testsupport::mineKorvplus(words, minSupport, {.threads = 3, .stress = true}) == mined);
    }

    testsupport::Database truth;
    if (!readDatabase(std::span(sequenceData).subspan(1), truth)) return 0;
    require(testsupport::closedOutputError(truth, minSupport, mined.found.patterns).empty());
    return 0;
}
