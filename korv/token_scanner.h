// Token reading for the spec file and the sequence data file.
//
// The scanner reads a byte stream the way the C library's formatted input reads it with "%s"
// and "%i": white space (blank, tab, line feed, vertical tab, form feed, carriage return)
// separates tokens, "%s" takes the longest run of other characters, and "%i" takes an optional
// sign followed by 0x and hexadecimal digits, 0 and octal digits, or decimal digits. A number
// ends at the first character that cannot continue it, so "1-1" is the two numbers 1 and -1.
//
// The bytes come from a file, read in blocks, or from memory. The scanner never owns the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "run_vector.h"

namespace korv {

enum class scan_status {
    ok,
    end_of_input,  // only white space was left
    not_a_number,  // the next token does not start with a number; nothing was stored
    out_of_range,  // a number outside the int32 range; the value is clamped to the range
    read_error,    // the file could not be read (an I/O error, or the path names a directory)
};

class token_scanner {
public:
    explicit token_scanner(std::FILE* file);
    explicit token_scanner(std::string_view bytes);
    explicit token_scanner(std::string&&) = delete;  // the bytes must outlive the scanner

    // "%s": the next run of non-white-space characters.
    scan_status read_word(std::string& word);

    // "%i": the next integer.
    scan_status read_int(std::int32_t& value);

private:
    // The next byte, or -1 at the end of the input (or after a read error).
    int peek() {
        if (pos_ < data_.size()) return static_cast<unsigned char>(data_[pos_]);
        return refill() ? static_cast<unsigned char>(data_[pos_]) : -1;
    }
    void advance() { ++pos_; }
    bool refill();
    bool skip_space();

    std::FILE* file_ = nullptr;
    run_vector<char> block_;
    std::string_view data_;
    std::size_t pos_ = 0;
    bool read_failed_ = false;
};

}  // namespace korv
