// Files in and out as the korv library and programs handle them: a whole file read at once, an
// output file that appears complete or not at all, and messages that name a place in a file.
//
// OutputFile: bytes go to a temporary file beside the target ("TARGET.tmp-PID"), through an
// in-memory block written out whenever it fills. commit() flushes, closes and renames the
// temporary file onto the target; an OutputFile destroyed without a successful commit() removes
// its temporary file, so a failed run never leaves a half-written target behind. A target that
// exists and is not a regular file (a device or a pipe) is written directly instead.
//
// Invariants:
//   1. The first failure (create, write, close, rename) is kept in error(); nothing is written
//      after it.
//   2. The target path is touched only by the rename in commit().
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace korv {

// Reads the whole file at `path` into `bytes`. Empty on success; otherwise the message
// ("PATH: is a directory", "PATH: cannot open: REASON", "PATH: cannot read").
std::string readWholeFile(const std::string& path, std::string& bytes);

// "FILE:LINE:COLUMN: message", line and column 1-based.
std::string locate(const std::string& file, int64_t line, int64_t column, const std::string& message);

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file for `target`. False (with error()) when that fails.
    bool open(const std::string& target);
    void write(std::string_view bytes) {
        if (pending_.size() + bytes.size() > kBlockBytes) flushBlock();
        pending_.append(bytes);
    }
    void put(char c) {
        if (pending_.size() >= kBlockBytes) flushBlock();
        pending_.push_back(c);
    }
    void writeNumber(long long value);
    // Writes what is left, closes and renames onto the target. False (with error()) on any failure.
    bool commit();

    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    const std::string& target() const { return target_; }

private:
    static constexpr std::size_t kBlockBytes = 1 << 20;
    void flushBlock();
    void fail(const std::string& what);

    std::FILE* file_ = nullptr;
    std::string target_;
    std::string temporary_;
    std::string pending_;
    std::string error_;
};

}  // namespace korv
