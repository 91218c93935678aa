// libFuzzer target for korv's data file: the first byte picks the number of sequences (and with
// bit 4 a search on several threads), the second the absolute support, the rest is the text.
// Every input goes through the token scanner and the loader. The loader's reading is compared
// with the C library's "%i" reading of the same text, and small inputs are mined (mineKorv checks
// the counts on the way) and compared with the brute-force oracle: the closed sequences, their
// supports and their order (lexicographic in the item lists) must be exact, and a search on
// several threads must hand over the same sequences in the same order.
// A failed check aborts, so libFuzzer keeps the input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "c_tokens.h"
#include "fatal_error.h"
#include "data_file.h"
#include "korv/korv.h"
#include "support/closed_oracle.h"
#include "support/mining.h"
#include "token_scanner.h"

namespace {

// The oracle's search grows with the longest sequence; 9 items keep every input fast.
constexpr std::size_t kMaxOracleItemsPerSequence = 9;

void require(bool condition) {
    if (!condition) std::abort();
}

// The sequences of the data file as the C library reads its tokens: ids of 0 or more are items,
// -1 and -2 end a sequence, other negative values are skipped; reading stops after
// num_sequences + 1 ends or at the end of the text, keeping a partly read sequence. False when a
// token is not an integer or leaves the int32 range.
bool read_with_c_library(const std::string& text, std::int32_t num_sequences, testsupport::ItemSequences& sequences) {
    fuzzsupport::CTokenReader reader(text);
    std::vector<std::int32_t> current;
    for (std::int64_t ends = 0; ends <= num_sequences;) {
        long long token = 0;
        const fuzzsupport::CScan got = reader.readInt(token);
        if (got == fuzzsupport::CScan::end) break;
        if (got == fuzzsupport::CScan::mismatch || !fuzzsupport::fitsInt32(token)) return false;
        if (token >= 0) {
            current.push_back(std::int32_t(token));
        } else if (token == -1 || token == -2) {
            sequences.push_back(std::move(current));
            current.clear();
            ++ends;
        }
    }
    if (!current.empty()) sequences.push_back(std::move(current));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 2) return 0;
    const std::int32_t num_sequences = bytes[0] % 16;
    const std::int32_t abs_support = bytes[1] % 4 + 1;
    const std::string text(reinterpret_cast<const char*>(bytes) + 2, size - 2);
    korv::token_scanner scanner(text);
    korv::data_file_contents contents;
    korv::load_status status = korv::load_status::read_error;
    try {
        status = korv::load_sequences(scanner, num_sequences, contents);
    } catch (const korv::AllocationFailure&) {
        return 0;  // a refused allocation: reported, never a crash
    }
    require(status != korv::load_status::read_error);
    const std::vector<std::int32_t> db(contents.runs.begin(), contents.runs.end());
    if (status == korv::load_status::ok) {
        // What the library takes: -1, then each sequence followed by -1, items 0 or more.
        require(db.front() == -1 && db.back() == -1);
        require(std::all_of(db.begin(), db.end(), [&](std::int32_t v) { return v >= -1 && v <= contents.largest_id; }));
    }

    if (text.find('\0') != std::string::npos) return 0;  // the C library would stop reading there
    testsupport::ItemSequences sequences;
    require(read_with_c_library(text, num_sequences, sequences) == (status == korv::load_status::ok));
    if (status != korv::load_status::ok || db.size() > 96) return 0;  // keeps every run short
    for (const auto& sequence : sequences)
        if (sequence.size() > kMaxOracleItemsPerSequence) return 0;

    const testsupport::Mined mined = testsupport::mineKorv(db, abs_support);
    require(mined.found == testsupport::inKeyOrder(testsupport::closedItemSequences(sequences, abs_support)));

    // Several threads, each node giving its siblings away and almost no room for output waiting
    // its turn: the same sequences in the same order, and the same histogram. Starting threads
    // costs more than a small search, so only inputs whose first byte has bit 4 set try it.
    if ((bytes[0] & 0x10) != 0) require(testsupport::mineKorv(db, abs_support, {.threads = 3, .stress = true}) == mined);
    return 0;
}
