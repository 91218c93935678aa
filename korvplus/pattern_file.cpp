#include "pattern_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>

namespace korvplus {

void appendPatternLine(std::string& line, std::span<const int32_t> pattern) {
    char digits[16];
    for (const int32_t value : pattern) {
        if (value == -1) {
            line += " || ";
            continue;
        }
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        line += ' ';
        line.append(digits, end);
    }
    line += '\n';
}

PatternFile::~PatternFile() {
    if (file_ != nullptr) std::fclose(file_);
}

void PatternFile::fail(const char* what) {
    if (error_.empty()) error_ = path_ + ": cannot " + what + ": " + std::strerror(errno);
}

bool PatternFile::open(const std::string& path) {
    path_ = path;
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) fail("create");
    return file_ != nullptr;
}

void PatternFile::writePattern(std::span<const int32_t> pattern) {
    if (file_ == nullptr || failed()) return;
    line_.clear();
    appendPatternLine(line_, pattern);
    if (std::fwrite(line_.data(), 1, line_.size(), file_) != line_.size()) fail("write");
    else if (std::fflush(file_) != 0) fail("write");
}

bool PatternFile::close() {
    if (file_ != nullptr) {
        if (std::fclose(file_) != 0) fail("close");
        file_ = nullptr;
    }
    return !failed();
}

}  // namespace korvplus
