#include "korv/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

namespace korv {

std::string readWholeFile(const std::string& path, std::string& bytes) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return path + ": is a directory";
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return path + ": cannot open: " + std::strerror(errno);
    bytes.clear();
    char block[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    return failed ? path + ": cannot read" : "";
}

std::string locate(const std::string& file, int64_t line, int64_t column, const std::string& message) {
    return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message;
}

OutputFile::~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!temporary_.empty()) std::remove(temporary_.c_str());
}

bool OutputFile::open(const std::string& target) {
    target_ = target;
    // A device or a pipe (/dev/null, /dev/stdout) is written directly: it cannot be replaced.
    struct stat status {};
    const bool exists = ::stat(target.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) {
        error_ = target + ": is a directory";
        return false;
    }
    const bool direct = exists && !S_ISREG(status.st_mode);
    const std::string path = direct ? target : target + ".tmp-" + std::to_string(::getpid());
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        error_ = target + ": cannot create: " + std::strerror(errno);
        return false;
    }
    if (!direct) temporary_ = path;
    pending_.reserve(kBlockBytes);
    return true;
}

void OutputFile::writeNumber(long long value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    write(std::string_view(text, std::size_t(result.ptr - text)));
}

void OutputFile::fail(const std::string& what) {
    if (error_.empty()) error_ = target_ + ": " + what + ": " + std::strerror(errno);
}

void OutputFile::flushBlock() {
    if (file_ != nullptr && error_.empty() && !pending_.empty() &&
        std::fwrite(pending_.data(), 1, pending_.size(), file_) != pending_.size())
        fail("cannot write");
    pending_.clear();
}

bool OutputFile::commit() {
    if (file_ == nullptr) {
        if (error_.empty()) error_ = target_ + ": not open";
        return false;
    }
    flushBlock();
    if (std::fclose(file_) != 0) fail("cannot write");
    file_ = nullptr;
    if (!error_.empty()) return false;
    if (temporary_.empty()) return true;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        fail("cannot replace");
        return false;
    }
    temporary_.clear();
    return true;
}

}  // namespace korv
