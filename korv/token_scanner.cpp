#include "token_scanner.h"

#include <algorithm>

namespace korv {

namespace {

constexpr std::size_t block_bytes = 1 << 16;

bool is_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Value of `c` as a digit of `base`, or -1.
int digit_value(int c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') value = c - '0';
    else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

}  // namespace

token_scanner::token_scanner(std::FILE* file) : file_(file) {
    resize_or_exit(block_, block_bytes);
}

token_scanner::token_scanner(std::string_view bytes) : data_(bytes) {}

bool token_scanner::refill() {
    if (file_ == nullptr || read_failed_) return false;
    const std::size_t got = std::fread(block_.data(), 1, block_.size(), file_);
    if (got == 0) {
        if (std::ferror(file_)) read_failed_ = true;
        return false;
    }
    data_ = std::string_view(block_.data(), got);
    pos_ = 0;
    return true;
}

bool token_scanner::skip_space() {
    int c = peek();
    for (; c >= 0 && is_space(c); c = peek()) advance();
    return c >= 0;
}

scan_status token_scanner::read_word(std::string& word) {
    word.clear();
    if (!skip_space()) return read_failed_ ? scan_status::read_error : scan_status::end_of_input;
    for (int c = peek(); c >= 0 && !is_space(c); c = peek()) {
        if (word.size() == word.capacity()) korvcore::reserveChecked(word, word.capacity() * 2 + 16);
        word.push_back(static_cast<char>(c));
        advance();
    }
    return read_failed_ ? scan_status::read_error : scan_status::ok;
}

scan_status token_scanner::read_int(std::int32_t& value) {
    if (!skip_space()) return read_failed_ ? scan_status::read_error : scan_status::end_of_input;

    bool negative = false;
    int c = peek();
    if (c == '+' || c == '-') {
        negative = c == '-';
        advance();
        c = peek();
    }

    // The base follows from the prefix; a lone 0 (or 0 before a non-octal digit) is zero.
    int base = 10;
    bool have_digit = false;
    if (c == '0') {
        advance();
        have_digit = true;
        base = 8;
        c = peek();
        if (c == 'x' || c == 'X') {
            // As in the C library, "0x" is consumed whole; without hexadecimal digits after it
            // the number is 0.
            advance();
            base = 16;
        }
    }

    // Accumulate with saturation just above the int32 range, so any length of digits is safe.
    constexpr std::uint64_t saturated = std::uint64_t{1} << 32;
    std::uint64_t magnitude = 0;
    for (int d = digit_value(peek(), base); d >= 0; d = digit_value(peek(), base)) {
        have_digit = true;
        magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
        if (magnitude > saturated) magnitude = saturated;
        advance();
    }
    if (read_failed_) return scan_status::read_error;
    if (!have_digit) return scan_status::not_a_number;

    const std::int64_t signed_value = negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
    value = std::int32_t(std::clamp<std::int64_t>(signed_value, INT32_MIN, INT32_MAX));
    return value == signed_value ? scan_status::ok : scan_status::out_of_range;
}

}  // namespace korv
