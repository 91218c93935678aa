#include "pattern_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace korvplus {

void appendPatternLine(std::string& line, std::span<const int32_t> pattern) {
    // A value takes at most 12 characters (" " and an int32 in decimal) and a separator 4, so
    // the line is written into room for the longest and then cut to its length.
    const std::size_t start = line.size();
    line.resize(start + pattern.size() * 12 + 1);
    char* out = line.data() + start;
    for (const int32_t value : pattern) {
        if (value == -1) {
            std::memcpy(out, " || ", 4);
            out += 4;
            continue;
        }
        *out++ = ' ';
        out = std::to_chars(out, out + 11, value).ptr;
    }
    *out++ = '\n';
    line.resize(std::size_t(out - line.data()));
}

PatternFile::~PatternFile() {
    if (fd_ >= 0) ::close(fd_);
}

void PatternFile::fail(const char* what) {
    if (error_.empty()) error_ = path_ + ": cannot " + what + ": " + std::strerror(errno);
}

bool PatternFile::open(const std::string& path) {
    path_ = path;
    do fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) fail("create");
    return fd_ >= 0;
}

void PatternFile::writePattern(std::span<const int32_t> pattern) {
    if (fd_ < 0 || failed()) return;
    line_.clear();
    appendPatternLine(line_, pattern);
    std::size_t done = 0;
    while (done < line_.size()) {
        // pwrite at the file's own end: nothing else writes it, and the call skips the lock on
        // the shared file position that write takes once the program has threads.
        const ssize_t wrote = ::pwrite(fd_, line_.data() + done, line_.size() - done, offset_);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            if (wrote == 0) errno = ENOSPC;
            fail("write");
            return;
        }
        done += std::size_t(wrote);
        offset_ += wrote;
    }
}

bool PatternFile::close() {
    if (fd_ >= 0) {
        if (::close(fd_) != 0) fail("close");
        fd_ = -1;
    }
    return !failed();
}

}  // namespace korvplus
