// libFuzzer target: arbitrary bytes as korv's text data file, straight into the token scanner and
// the loader; small inputs are also mined, with the sequence count and threshold taken from the
// first two bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "closed_miner.h"
#include "fatal_error.h"
#include "sequence_db.h"
#include "token_scanner.h"

namespace {

class counting_sink : public korv::closed_sink {
public:
    bool write_closed(std::span<const std::int32_t>, std::int32_t support) override {
        if (support < 1) std::abort();
        ++written;
        return true;
    }
    std::int64_t written = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 2) return 0;
    const std::int32_t num_sequences = bytes[0] % 16;
    const std::int32_t abs_support = bytes[1] % 4 + 1;
    korv::token_scanner scanner(std::string_view(reinterpret_cast<const char*>(bytes) + 2, size - 2));
    try {
        korv::sequence_db db;
        if (korv::load_sequences(scanner, num_sequences, abs_support, db) != korv::load_status::ok) return 0;
        if (!korv::check_sequence_db(db, abs_support)) std::abort();
        if (db.seq_buffer.size() > 96) return 0;  // keeps every run short
        counting_sink sink;
        korv::mine_closed(db, abs_support, &sink);
    } catch (const korv::fatal_error&) {
        // a refused allocation: reported, never a crash
    }
    return 0;
}
