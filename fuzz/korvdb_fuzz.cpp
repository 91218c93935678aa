// libFuzzer target for the readers korvdb works through: the first byte picks the event-log importer (CSV or TSV,
// with or without a header) or the text database readers; the rest is the input. Whatever a
// reader accepts must satisfy the database invariants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "event_import.h"
#include "sequence_database.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void checkInvariants(const korvdatabase::SequenceDatabase& db) {
    require(!db.sequenceStart.empty() && db.sequenceStart.front() == 0);
    require(db.sequenceStart.back() == db.words.size());
    int32_t previous = -2;
    for (std::size_t k = 0; k < db.words.size(); ++k) {
        const int32_t value = db.words[k];
        require(value >= -2 && value <= db.largestItem);
        if (value >= 0) require(previous < 0 || value > previous);
        if (value == -2) require(previous < 0);
        previous = value;
    }
    require(db.words.empty() || db.words.back() == -2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int mode = data[0] % 4;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    korvdatabase::SequenceDatabase db;
    if (mode < 2) {
        korvdatabase::ImportOptions options;
        options.delimiter = mode == 0 ? ',' : '\t';
        options.header = (data[0] & 4) == 0;
        // Tiny blocks put records across block boundaries all the time.
        options.readBlockBytes = 1 + std::size_t(data[0] >> 3);
        std::istringstream in(text);
        korvdatabase::ImportResult result;
        if (korvdatabase::importEventLog(in, "log", options, result).empty()) {
            checkInvariants(result.db);
            require(result.itemNames.size() == std::size_t(result.db.largestItem + 1));
            for (std::size_t id = 1; id < result.itemNames.size(); ++id)
                require(result.itemNames[id - 1] < result.itemNames[id]);
        }
    } else if (mode == 2) {
        if (korvdatabase::readTextDatabase(text, "db.txt", db).empty()) checkInvariants(db);
    } else {
        if (korvdatabase::readKorvData(text, "db.dat", db).empty()) checkInvariants(db);
    }
    return 0;
}
