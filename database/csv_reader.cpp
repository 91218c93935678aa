#include "csv_reader.h"

#include <algorithm>
#include <cstring>

#include "text_tokens.h"

namespace korvdatabase {

CsvReader::CsvReader(std::istream& in, std::string file, char delimiter, std::size_t blockBytes)
    : in_(in), file_(std::move(file)), delimiter_(delimiter), buffer_(std::max<std::size_t>(blockBytes, 1), '\0') {}

bool CsvReader::refill() {
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    in_.read(buffer_.data() + end_, std::streamsize(buffer_.size() - end_));
    const auto got = std::size_t(in_.gcount());
    end_ += got;
    if (in_.bad()) {
        error_ = file_ + ": cannot read";
        return false;
    }
    if (got == 0) atEof_ = true;
    return true;
}

// Scans one record from begin_ without changing the buffer, so that a scan cut short by the end
// of the block can start over once more bytes are in.
CsvReader::Scan CsvReader::scan(std::vector<CsvField>& fields) {
    const char* data = buffer_.data();
    std::size_t p = begin_;
    int64_t line = line_;
    std::size_t lineStart = begin_;
    fields.clear();
    escaped_.clear();
    // Empty lines between records.
    while (p < end_ && (data[p] == '\n' || (data[p] == '\r' && p + 1 < end_ && data[p + 1] == '\n'))) {
        p += data[p] == '\r' ? 2 : 1;
        ++line;
        lineStart = p;
    }
    if (p == end_) return atEof_ ? Scan::record : Scan::needMore;
    if (data[p] == '\r' && p + 1 == end_ && !atEof_) return Scan::needMore;
    for (;;) {
        CsvField field;
        field.line = line;
        field.column = int64_t(p - lineStart) + 1;
        if (p < end_ && data[p] == '"') {
            const std::size_t open = p++;
            for (;;) {
                const void* quote = std::memchr(data + p, '"', end_ - p);
                const std::size_t q = quote ? std::size_t(static_cast<const char*>(quote) - data) : end_;
                for (const char* nl = static_cast<const char*>(std::memchr(data + p, '\n', q - p)); nl != nullptr;
                     nl = static_cast<const char*>(std::memchr(nl + 1, '\n', std::size_t(data + q - nl - 1)))) {
                    ++line;
                    lineStart = std::size_t(nl - data) + 1;
                }
                if (q == end_ || (q + 1 == end_ && !atEof_)) {
                    if (!atEof_) return Scan::needMore;
                    error_ = locate(file_, field.line, field.column, "a quoted field is not closed");
                    return Scan::failed;
                }
                if (q + 1 < end_ && data[q + 1] == '"') {
                    if (escaped_.empty() || escaped_.back() != fields.size()) escaped_.push_back(fields.size());
                    p = q + 2;
                    continue;
                }
                field.text = std::string_view(data + open + 1, q - open - 1);
                p = q + 1;
                break;
            }
            if (p < end_ && data[p] == '\r' && p + 1 < end_ && data[p + 1] == '\n') ++p;
            if (p < end_ && data[p] != delimiter_ && data[p] != '\n') {
                if (p + 1 == end_ && data[p] == '\r' && !atEof_) return Scan::needMore;
                error_ = locate(file_, line, int64_t(p - lineStart) + 1, "text after the closing quote of a field");
                return Scan::failed;
            }
            if (p == end_ && !atEof_) return Scan::needMore;
        } else {
            const std::size_t start = p;
            while (p < end_ && data[p] != delimiter_ && data[p] != '\n') ++p;
            if (p == end_ && !atEof_) return Scan::needMore;
            std::size_t fieldEnd = p;
            if ((p == end_ || data[p] == '\n') && fieldEnd > start && data[fieldEnd - 1] == '\r') --fieldEnd;
            field.text = std::string_view(data + start, fieldEnd - start);
        }
        fields.push_back(field);
        if (p == end_) {
            begin_ = p;
            line_ = line;
            return Scan::record;
        }
        if (data[p] == '\n') {
            begin_ = p + 1;
            line_ = line + 1;
            return Scan::record;
        }
        ++p;  // the delimiter
    }
}

bool CsvReader::next(std::vector<CsvField>& fields) {
    if (!error_.empty()) return false;
    for (;;) {
        const Scan result = scan(fields);
        if (result == Scan::failed) return false;
        if (result == Scan::needMore) {
            if (!refill()) return false;
            continue;
        }
        if (fields.empty()) return false;
        // The record is whole: undo doubled quotes in place (the text only gets shorter).
        for (std::size_t index : escaped_) {
            CsvField& field = fields[index];
            char* out = buffer_.data() + (field.text.data() - buffer_.data());
            const char* in = out;
            const char* stop = field.text.data() + field.text.size();
            char* write = out;
            while (in < stop) {
                *write++ = *in;
                in += (*in == '"') ? 2 : 1;
            }
            field.text = std::string_view(out, std::size_t(write - out));
        }
        return true;
    }
}

}  // namespace korvdatabase
