#include "text_tokens.h"

#include <charconv>

namespace korvdatabase {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

}  // namespace

Token TokenScanner::next() {
    while (offset_ < text_.size() && isBlank(text_[offset_])) {
        if (text_[offset_] == '\n') {
            ++line_;
            lineStart_ = offset_ + 1;
        }
        ++offset_;
    }
    Token token;
    token.line = line_;
    token.column = int64_t(offset_ - lineStart_) + 1;
    const std::size_t start = offset_;
    while (offset_ < text_.size() && !isBlank(text_[offset_])) ++offset_;
    token.text = text_.substr(start, offset_ - start);
    return token;
}

bool parseInt32(std::string_view text, int32_t& value) {
    if (text.empty() || text[0] == '+') return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

std::string quoted(std::string_view text) {
    std::string result = "'";
    result.append(text);
    result.push_back('\'');
    return result;
}

}  // namespace korvdatabase
