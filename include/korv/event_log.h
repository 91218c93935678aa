// Databases from event logs: CSV or TSV rows of a sequence key, a time and an item name, read
// as `korvdb import` reads them.
//
// Rows with the same key form one sequence; sequences come in byte order of their keys. A
// sequence's events are ordered by time: numerically when every time value of the log is a
// decimal number, otherwise by byte order of the time text (which orders ISO-8601 stamps). Rows
// with equal key and time form one event. Item names get ids 0..n-1 in byte order, so the result
// does not depend on the order of the rows.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "korv/database.h"

namespace korv {

struct EventLogOptions {
    // Columns by header name, or by 1-based number when all digits.
    std::string sequenceColumn = "1";
    std::string timeColumn = "2";
    std::string itemColumn = "3";
    // One character other than a double quote or a line break, or "tab" (or the two characters
    // \t) for a tab. Throws korv::Error on anything else, after opening the log. Unset: a tab for
    // .tsv/.tab files and for logs whose first line holds tabs and no comma, otherwise a comma.
    std::optional<std::string> delimiter = std::nullopt;
    // The first row names the columns.
    bool header = true;
};

struct EventLog {
    Database database;
    std::vector<std::string> itemNames;  // indexed by item id
    int64_t rows = 0;                    // data rows read
    int64_t events = 0;                  // in all sequences
    int64_t longestSequence = 0;         // the most items in one sequence
};

// Reads the log at `path`. Throws korv::Error with the message `korvdb import` prints.
EventLog readEventLog(const std::string& path, const EventLogOptions& options = {});

// Reads a log from `in`; `name` names it in messages and, when the delimiter is guessed, its
// extension counts as a file's would.
EventLog readEventLog(std::istream& in, const std::string& name, const EventLogOptions& options = {});

}  // namespace korv
