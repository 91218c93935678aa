// Records of a CSV (RFC 4180 quoting) or TSV file, read from a stream in blocks.
//
// A field that starts with '"' is quoted: it ends at the next lone '"', may hold the delimiter,
// line breaks and doubled quotes ("" stands for one "). A quote elsewhere is an ordinary byte.
// Records end at LF or CRLF; empty lines are skipped; the last record needs no line end.
//
// Invariants:
//   1. The views in the fields of a record stay valid until the next call of next().
//   2. line and column are 1-based and count bytes; a record's line is the line it starts on.
//   3. Memory is one block (1 MiB by default, doubled only to hold a record longer than it) plus
//      the fields.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace korvdatabase {

struct CsvField {
    std::string_view text;  // quotes removed, doubled quotes undone
    int64_t line = 0;
    int64_t column = 0;
};

class CsvReader {
public:
    // `blockBytes` is the size of the first block (tests and the fuzzer use tiny ones).
    CsvReader(std::istream& in, std::string file, char delimiter, std::size_t blockBytes = std::size_t(1) << 20);

    // The next record; false at the end of the input or on a failure (then error() is set).
    bool next(std::vector<CsvField>& fields);
    const std::string& error() const { return error_; }
    // Where the input ended: the line after the last one read.
    int64_t line() const { return line_; }

private:
    enum class Scan { record, needMore, failed };
    Scan scan(std::vector<CsvField>& fields);
    bool refill();

    std::istream& in_;
    std::string file_;
    char delimiter_;
    std::string buffer_;
    std::size_t begin_ = 0;  // first byte not yet consumed
    std::size_t end_ = 0;    // one past the last byte read
    bool atEof_ = false;
    int64_t line_ = 1;
    std::string error_;
    std::vector<std::size_t> escaped_;  // indexes of the current record's fields holding ""
};

}  // namespace korvdatabase
