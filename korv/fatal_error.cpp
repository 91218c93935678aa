#include "fatal_error.h"

namespace korv {

std::string alloc_error(std::uint64_t bytes) {
    return "Error: cannot allocate memory with size " + std::to_string(bytes) + "!\n";
}

std::string open_error(const std::string& path, const char* mode) {
    return "Error: cannot open file " + path + " with mode " + mode + "!\n";
}

std::FILE* open_or_exit(const std::string& path, const char* mode) {
    std::FILE* file = std::fopen(path.c_str(), mode);
    if (file == nullptr) throw fatal_error(open_error(path, mode));
    return file;
}

}  // namespace korv
