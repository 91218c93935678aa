// Tokens read with the C library's formatted input, which defines how korv reads its spec and
// data files; the korv targets compare the scanner's reading with this one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>

namespace fuzzsupport {

// ok: a token was read; mismatch: the next token is not of the kind asked for; end: only white
// space was left.
enum class CScan { ok, mismatch, end };

class CTokenReader {
public:
    // `text` must hold no NUL byte, which would end the C library's reading early.
    explicit CTokenReader(const std::string& text) : text_(text) {}

    // " %lli": white space, then an integer; a value beyond long long saturates.
    CScan readInt(long long& value) { return read(" %lli%n", &value); }

    // " %s": white space, then the longest run of other bytes.
    CScan readWord(std::string& word) {
        word.assign(text_.size() - pos_ + 1, '\0');
        const CScan got = read(" %s%n", word.data());
        word.resize(got == CScan::ok ? std::char_traits<char>::length(word.c_str()) : 0);
        return got;
    }

private:
    template <typename Target>
    CScan read(const char* format, Target* target) {
        int consumed = 0;
        const int got = std::sscanf(text_.c_str() + pos_, format, target, &consumed);
        if (got == EOF) return CScan::end;
        if (got != 1) return CScan::mismatch;
        pos_ += std::size_t(consumed);
        return CScan::ok;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

inline bool fitsInt32(long long value) {
    return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
}

}  // namespace fuzzsupport
