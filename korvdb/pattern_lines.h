// The lines of the miners' pattern files, read back.
//
//   "ClosedPatterns.txt": " 1 2 ||  3 || " is the pattern (1 2)(3): each item " ID", each end
//                          of event " || ".
//   "frequent.dat":        "0 1 2 : 2" is the sequence 0, 1, 2 with support 2: each item "ID ",
//                          then ": SUPPORT".
// Both are read into the flat form of the binary encoding: each event's items followed by -1
// (in "frequent.dat" every item is an event of its own).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvdb {

// Parses one line (without its line end). Empty on success; otherwise the problem, with
// `column` (1-based) where it is.
std::string parsePatternLine(std::string_view line, std::vector<int32_t>& pattern, int64_t& column);

// Appends `line` to `out` with every item id replaced by names[id], everything else unchanged.
std::string nameLine(std::string_view line, const std::vector<std::string>& names, std::string& out,
                     int64_t& column);

// Parses an optionally '-'-signed decimal integer that must fill the whole text and fit int32,
// as the database text forms read numbers.
bool parseInt32(std::string_view text, int32_t& value);

// Calls `onLine(line, lineNumber)` for each line of `text` (line ends removed: LF or CRLF);
// stops at the first non-empty result and returns it.
template <typename OnLine>
std::string forEachLine(std::string_view text, OnLine onLine) {
    int64_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (std::string error = onLine(line, ++number); !error.empty()) return error;
    }
    return "";
}

}  // namespace korvdb
