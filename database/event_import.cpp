#include "event_import.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <numeric>

#include "csv_reader.h"
#include "text_tokens.h"

namespace korvdatabase {

namespace {

// Distinct strings, numbered in order of first sight. Open addressing over a power-of-two table
// of ids (-1 = empty slot); the bytes of all strings sit in one arena.
class StringTable {
public:
    StringTable() : slots_(1024, -1) {}

    // The id of `text`; `added` tells whether it was new.
    uint32_t intern(std::string_view text, bool& added) {
        const std::size_t hash = std::hash<std::string_view>{}(text);
        std::size_t slot = hash & (slots_.size() - 1);
        for (; slots_[slot] >= 0; slot = (slot + 1) & (slots_.size() - 1)) {
            const auto id = uint32_t(slots_[slot]);
            if (hashes_[id] == hash && view(id) == text) {
                added = false;
                return id;
            }
        }
        added = true;
        const auto id = uint32_t(starts_.size() - 1);
        slots_[slot] = int32_t(id);
        hashes_.push_back(hash);
        arena_.append(text);
        starts_.push_back(arena_.size());
        if (2 * starts_.size() > slots_.size()) grow();
        return id;
    }
    std::string_view view(uint32_t id) const {
        return std::string_view(arena_).substr(starts_[id], starts_[id + 1] - starts_[id]);
    }
    uint32_t size() const { return uint32_t(starts_.size() - 1); }

    // rank[id] = position of string id in byte order.
    std::vector<uint32_t> ranks() const {
        std::vector<uint32_t> order(size());
        std::iota(order.begin(), order.end(), 0u);
        std::sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) { return view(a) < view(b); });
        std::vector<uint32_t> rank(size());
        for (uint32_t r = 0; r < size(); ++r) rank[order[r]] = r;
        return rank;
    }

private:
    void grow() {
        std::vector<int32_t> bigger(slots_.size() * 2, -1);
        for (uint32_t id = 0; id < size(); ++id) {
            std::size_t slot = hashes_[id] & (bigger.size() - 1);
            while (bigger[slot] >= 0) slot = (slot + 1) & (bigger.size() - 1);
            bigger[slot] = int32_t(id);
        }
        slots_.swap(bigger);
    }

    std::vector<int32_t> slots_;
    std::vector<std::size_t> hashes_;
    std::string arena_;
    std::vector<std::size_t> starts_{0};
};

bool isDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Resolves a column option against the header (or a 1-based number) to a 0-based index.
std::string resolveColumn(const std::string& spec, const char* role, const std::vector<CsvField>* header,
                          const std::string& file, std::size_t& index) {
    if (isDigits(spec)) {
        std::size_t number = 0;
        const auto result = std::from_chars(spec.data(), spec.data() + spec.size(), number);
        if (result.ec != std::errc() || number == 0 || number > 100000)
            return "--" + std::string(role) + " " + spec + ": columns are numbered from 1";
        index = number - 1;
        return "";
    }
    if (header == nullptr) return "--" + std::string(role) + " " + spec + ": a column name needs a header row";
    for (std::size_t k = 0; k < header->size(); ++k)
        if ((*header)[k].text == spec) {
            index = k;
            return "";
        }
    return locate(file, header->empty() ? 1 : header->front().line, 1,
                  "the header has no column '" + spec + "' (for --" + role + ")");
}

bool parseTime(std::string_view text, double& value) {
    if (text.empty() || text[0] == '+') return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && std::isfinite(value);
}

}  // namespace

std::string importEventLog(std::istream& in, const std::string& file, const ImportOptions& options,
                           ImportResult& result) {
    result = ImportResult{};
    CsvReader reader(in, file, options.delimiter, options.readBlockBytes);
    std::vector<CsvField> fields;
    const char* roles[3] = {"sequence", "time", "item"};
    const std::string* specs[3] = {&options.sequenceColumn, &options.timeColumn, &options.itemColumn};
    std::size_t column[3] = {0, 1, 2};
    bool haveRow = reader.next(fields);
    if (!reader.error().empty()) return reader.error();
    if (options.header && !haveRow) return locate(file, 1, 1, "the log has no header row");
    for (int k = 0; k < 3; ++k)
        if (std::string error = resolveColumn(*specs[k], roles[k], options.header ? &fields : nullptr, file, column[k]);
            !error.empty())
            return error;
    const std::size_t needed = std::max({column[0], column[1], column[2]}) + 1;

    // One pass over the rows: keys and names interned, time text kept in one arena.
    StringTable keys;
    StringTable items;
    std::vector<uint32_t> rowKey;
    std::vector<uint32_t> rowItem;
    std::vector<std::size_t> timeStart{0};
    std::string timeArena;
    if (options.header) haveRow = reader.next(fields);
    for (; haveRow; haveRow = reader.next(fields)) {
        if (fields.size() < needed) {
            const CsvField& last = fields.back();
            return locate(file, last.line, last.column + int64_t(last.text.size()),
                          "the row has " + std::to_string(fields.size()) + " columns, " + std::to_string(needed) +
                              " are needed");
        }
        const CsvField& item = fields[column[2]];
        bool added = false;
        rowItem.push_back(items.intern(item.text, added));
        if (added && (item.text.empty() || item.text.find_first_of("\t\r\n") != std::string_view::npos))
            return locate(file, item.line, item.column,
                          item.text.empty() ? "an empty item name" : "an item name holds a tab or a line break");
        rowKey.push_back(keys.intern(fields[column[0]].text, added));
        timeArena.append(fields[column[1]].text);
        timeStart.push_back(timeArena.size());
    }
    if (!reader.error().empty()) return reader.error();
    const std::size_t rows = rowKey.size();
    if (rows >= 0x7fffffffu / 2) return file + ": too many rows for 32-bit positions";

    // Times: numbers when every one is a number, else text.
    auto timeText = [&](std::size_t row) {
        return std::string_view(timeArena).substr(timeStart[row], timeStart[row + 1] - timeStart[row]);
    };
    std::vector<double> timeValue(rows);
    bool numeric = true;
    for (std::size_t row = 0; row < rows && numeric; ++row) numeric = parseTime(timeText(row), timeValue[row]);
    if (!numeric) timeValue = std::vector<double>();

    // Rows grouped by key rank with a counting sort, then each group sorted by time.
    const std::vector<uint32_t> keyRank = keys.ranks();
    const std::vector<uint32_t> itemRank = items.ranks();
    std::vector<uint32_t> groupStart(keys.size() + 1, 0);
    for (uint32_t key : rowKey) ++groupStart[keyRank[key] + 1];
    std::partial_sum(groupStart.begin(), groupStart.end(), groupStart.begin());
    std::vector<uint32_t> order(rows);
    {
        std::vector<uint32_t> next(groupStart.begin(), groupStart.end() - 1);
        for (std::size_t row = 0; row < rows; ++row) order[next[keyRank[rowKey[row]]]++] = uint32_t(row);
    }
    rowKey = std::vector<uint32_t>();

    SequenceDatabase& db = result.db;
    db.words.reserve(rows * 2 + keys.size());
    db.sequenceStart.reserve(keys.size() + 1);
    ImportFigures& figures = result.figures;
    std::vector<int32_t> event;
    for (uint32_t group = 0; group < keys.size(); ++group) {
        const auto first = order.begin() + groupStart[group];
        const auto last = order.begin() + groupStart[group + 1];
        if (numeric)
            std::sort(first, last, [&](uint32_t a, uint32_t b) { return timeValue[a] < timeValue[b]; });
        else
            std::sort(first, last, [&](uint32_t a, uint32_t b) { return timeText(a) < timeText(b); });
        int64_t sequenceItems = 0;
        for (auto at = first; at != last;) {
            // One event: the rows with this time.
            auto stop = at + 1;
            if (numeric)
                while (stop != last && timeValue[*stop] == timeValue[*at]) ++stop;
            else
                while (stop != last && timeText(*stop) == timeText(*at)) ++stop;
            event.clear();
            for (auto row = at; row != stop; ++row) event.push_back(int32_t(itemRank[rowItem[*row]]));
            std::sort(event.begin(), event.end());
            event.erase(std::unique(event.begin(), event.end()), event.end());
            db.words.insert(db.words.end(), event.begin(), event.end());
            db.words.push_back(-1);
            sequenceItems += int64_t(event.size());
            ++figures.events;
            at = stop;
        }
        db.words.push_back(-2);
        db.sequenceStart.push_back(uint32_t(db.words.size()));
        figures.longestSequence = std::max(figures.longestSequence, sequenceItems);
    }
    db.largestItem = int32_t(items.size()) - 1;
    figures.rows = int64_t(rows);
    figures.sequences = keys.size();
    figures.distinctItems = items.size();
    result.itemNames.resize(items.size());
    for (uint32_t id = 0; id < items.size(); ++id) result.itemNames[itemRank[id]] = std::string(items.view(id));
    return "";
}

char guessDelimiter(const std::string& path, std::istream& in) {
    if (path.ends_with(".tsv") || path.ends_with(".tab")) return '\t';
    std::string first;
    std::getline(in, first);
    in.clear();
    in.seekg(0);
    return first.find('\t') != std::string::npos && first.find(',') == std::string::npos ? '\t' : ',';
}

}  // namespace korvdatabase
