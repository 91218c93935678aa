// libFuzzer target for korv's spec file: the bytes are the file. The spec reader, over memory and
// over a stream, must read what the C library's "%s %i %i %i %i" reads: the same name, each
// number that fits in int32 as read and any other clamped to the range, and zeros from the first
// missing or non-numeric token on. A difference aborts, so libFuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "c_tokens.h"
#include "spec_file.h"
#include "token_scanner.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool same(const korv::run_spec& a, const korv::run_spec& b) {
    return a.data_path == b.data_path && a.num_items == b.num_items && a.num_sequences == b.num_sequences &&
           a.max_length == b.max_length && a.sizing_length == b.sizing_length;
}

korv::run_spec read_with_c_library(const std::string& text) {
    korv::run_spec spec;
    fuzzsupport::CTokenReader reader(text);
    if (reader.readWord(spec.data_path) != fuzzsupport::CScan::ok) return spec;
    for (std::int32_t* field : {&spec.num_items, &spec.num_sequences, &spec.max_length, &spec.sizing_length}) {
        long long value = 0;
        if (reader.readInt(value) != fuzzsupport::CScan::ok) break;
        constexpr long long lowest = std::numeric_limits<std::int32_t>::min();
        constexpr long long highest = std::numeric_limits<std::int32_t>::max();
        *field = std::int32_t(value < lowest ? lowest : value > highest ? highest : value);
    }
    return spec;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    korv::token_scanner memory_scanner(text);
    korv::run_spec from_memory;
    require(korv::read_spec(memory_scanner, from_memory));

    if (size > 0) {
        std::FILE* stream = fmemopen(const_cast<uint8_t*>(bytes), size, "r");
        require(stream != nullptr);
        korv::token_scanner stream_scanner(stream);
        korv::run_spec from_stream;
        require(korv::read_spec(stream_scanner, from_stream));
        std::fclose(stream);
        require(same(from_memory, from_stream));
    }

    if (text.find('\0') != std::string::npos) return 0;  // the C library would stop reading there
    require(same(from_memory, read_with_c_library(text)));
    return 0;
}
