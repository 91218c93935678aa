#include "fatal_error.h"

namespace korv {

std::string alloc_error(std::uint64_t bytes) {
    char line[80];
    std::snprintf(line, sizeof line, "Error: cannot allocate memory with size %llu!\n",
                  static_cast<unsigned long long>(bytes));
    return line;
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
