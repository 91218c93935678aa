// "ClosedPatterns.txt": one text line per closed pattern, in the order the search finds them.
//
// A pattern is a flat list: the items of each event followed by -1; it always ends with -1.
// Its line writes each item as " " + decimal id and each -1 as " || ", then "\n". The pattern
// (1 2)(3) is the line " 1 2 ||  3 || ". The file holds the patterns only: no header, no support.
//
// Every line goes to the file in one write call of its own, with no buffer in between, so the file
// holds every pattern found so far at any moment, in whole lines. The first failure (create, write
// or close) is kept; after it nothing more is written, and the caller reports it once.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include <sys/types.h>

namespace korvplus {

inline constexpr const char* kPatternFileName = "ClosedPatterns.txt";

// Appends the line for `pattern`, newline included, to `line`.
void appendPatternLine(std::string& line, std::span<const int32_t> pattern);

class PatternFile {
public:
    PatternFile() = default;
    ~PatternFile();
    PatternFile(const PatternFile&) = delete;
    PatternFile& operator=(const PatternFile&) = delete;

    // Creates or truncates `path` for writing. False (with error()) when that fails.
    bool open(const std::string& path);
    // Writes one line. Does nothing once a failure has been seen.
    void writePattern(std::span<const int32_t> pattern);
    // Closes the file; false when it or any earlier step failed.
    bool close();

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

private:
    void fail(const char* what);

    int fd_ = -1;
    off_t offset_ = 0;  // where the next line goes
    std::string path_;
    std::string line_;
    std::string error_;
};

}  // namespace korvplus
