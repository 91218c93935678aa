// Whitespace-separated tokens of a text file, each with the line and column where it starts.
//
// Invariants:
//   1. line and column are 1-based; column counts bytes from the start of the line.
//   2. A token is a maximal run of bytes other than blank, tab, CR, LF, FF and VT; the text
//      outlives every Token that views it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "korv/files.h"

namespace korvdatabase {

using korv::locate;

struct Token {
    std::string_view text;  // empty at the end of the input
    int64_t line = 1;
    int64_t column = 1;
};

class TokenScanner {
public:
    explicit TokenScanner(std::string_view text) : text_(text) {}
    // The next token, or one with empty text at the end (then line/column point past the input).
    Token next();

private:
    std::string_view text_;
    std::size_t offset_ = 0;
    int64_t line_ = 1;
    std::size_t lineStart_ = 0;
};

// Parses an optionally '-'-signed decimal integer that must fill the whole token and fit int32.
bool parseInt32(std::string_view text, int32_t& value);

// The text in single quotes, for messages.
std::string quoted(std::string_view text);

}  // namespace korvdatabase
