#include "pattern_lines.h"

#include <charconv>

namespace korvdb {

bool parseInt32(std::string_view text, int32_t& value) {
    if (text.empty() || text[0] == '+') return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

namespace {

bool isDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// Walks the blank-separated tokens of a pattern line, calling onItem(id, token, column) for each
// item and onEventEnd() for each "||" (none in frequent.dat lines, where every item ends an event).
template <typename OnItem, typename OnEventEnd>
std::string walkLine(std::string_view line, int64_t& column, OnItem onItem, OnEventEnd onEventEnd) {
    const bool withSupport = line.find(" : ") != std::string_view::npos || line.starts_with(": ");
    bool openEvent = false;
    bool anyItem = false;
    std::size_t at = 0;
    while (at <= line.size()) {
        std::size_t end = line.find(' ', at);
        if (end == std::string_view::npos) end = line.size();
        const std::string_view token = line.substr(at, end - at);
        column = int64_t(at) + 1;
        if (token.empty()) {
        } else if (isDigits(token)) {
            int32_t id = 0;
            if (!parseInt32(token, id)) return "an item id beyond 32 bits";
            onItem(id, token, column);
            anyItem = true;
            openEvent = !withSupport;
            if (withSupport) onEventEnd();
        } else if (token == "||" && !withSupport) {
            if (!openEvent) return "an event without items";
            onEventEnd();
            openEvent = false;
        } else if (token == ":" && withSupport) {
            const std::string_view support = line.substr(end == line.size() ? end : end + 1);
            int32_t value = 0;
            column = int64_t(end) + 2;
            if (!parseInt32(support, value) || value < 0) return "a support must follow ': '";
            break;
        } else {
            // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on chained additions.
            std::string problem = "'";
            problem.append(token).append("' is neither an item id nor an event mark");
            return problem;
        }
        at = end + 1;
    }
    if (!anyItem) {
        column = 1;
        return "a line without items";
    }
    if (openEvent) {
        column = int64_t(line.size()) + 1;
        return "the last event is not ended by ' || '";
    }
    return "";
}

}  // namespace

std::string parsePatternLine(std::string_view line, std::vector<int32_t>& pattern, int64_t& column) {
    pattern.clear();
    return walkLine(
        line, column, [&](int32_t id, std::string_view, int64_t) { pattern.push_back(id); },
        [&] { pattern.push_back(-1); });
}

std::string nameLine(std::string_view line, const std::vector<std::string>& names, std::string& out,
                     int64_t& column) {
    std::size_t copied = 0;
    std::string unknown;
    int64_t unknownColumn = 0;
    std::string error = walkLine(
        line, column,
        [&](int32_t id, std::string_view token, int64_t at) {
            if (std::size_t(id) >= names.size()) {
                if (unknown.empty()) {
                    unknown = "item " + std::to_string(id) + " is not in the dictionary";
                    unknownColumn = at;
                }
                return;
            }
            const std::size_t start = std::size_t(token.data() - line.data());
            out.append(line.substr(copied, start - copied));
            out.append(names[std::size_t(id)]);
            copied = start + token.size();
        },
        [] {});
    out.append(line.substr(copied));
    if (error.empty() && !unknown.empty()) {
        column = unknownColumn;
        return unknown;
    }
    return error;
}

}  // namespace korvdb
