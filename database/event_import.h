// From an event log (CSV or TSV rows of sequence key, time and item name) to a sequence database.
//
// Rows with the same key form one sequence; sequences come in byte order of their keys. A
// sequence's events are ordered by time: numerically when every time value of the log is a
// finite decimal number, otherwise by byte order of the time text (which orders ISO-8601 stamps).
// Rows with equal key and time form one event. Item names get ids 0..n-1 in byte order, so the
// result does not depend on the order of the rows; an event's items ascend, repeats dropped.
//
// Memory: the distinct keys and names once each, about 28 bytes and the time text per row, and
// the database built; the log itself is read in blocks and never held whole.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "sequence_database.h"

namespace korvdatabase {

struct ImportOptions {
    // Columns by header name, or by 1-based number when all digits.
    std::string sequenceColumn = "1";
    std::string timeColumn = "2";
    std::string itemColumn = "3";
    char delimiter = ',';
    bool header = true;
    std::size_t readBlockBytes = std::size_t(1) << 20;
};

struct ImportFigures {
    int64_t rows = 0;
    int64_t sequences = 0;
    int64_t events = 0;
    int64_t distinctItems = 0;
    int64_t longestSequence = 0;  // items
};

struct ImportResult {
    SequenceDatabase db;
    std::vector<std::string> itemNames;  // indexed by item id
    ImportFigures figures;
};

// Reads the log from `in`; `file` names it in messages. Empty on success.
std::string importEventLog(std::istream& in, const std::string& file, const ImportOptions& options,
                           ImportResult& result);

// The delimiter a log at `path` most likely uses: a tab for .tsv/.tab, or when its first line
// holds a tab and no comma; otherwise a comma.
char guessDelimiter(const std::string& path, std::istream& in);

}  // namespace korvdatabase
