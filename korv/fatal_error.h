// Fatal conditions of a korv run.
//
// A fatal condition ends the run with one line on standard output and exit status -1. Deeper
// code raises it as a fatal_error carrying that line; korv_main is the one place that prints it
// and turns it into the exit status, so library code never ends the process itself.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace korv {

class fatal_error : public std::runtime_error {
public:
    explicit fatal_error(const std::string& line) : std::runtime_error(line) {}
};

// The allocation message for a request of `bytes` bytes (raised as korv::AllocationFailure).
std::string alloc_error(std::uint64_t bytes);

// The open-error message naming `path` and the C library `mode`.
std::string open_error(const std::string& path, const char* mode);

// Opens `path` with the C library `mode`, or raises the open-error message naming both.
std::FILE* open_or_exit(const std::string& path, const char* mode);

}  // namespace korv
