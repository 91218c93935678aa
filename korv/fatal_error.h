// Fatal conditions of a korv run and the allocation helpers every part of the program uses.
//
// A fatal condition ends the run with one line on standard output and exit status -1. Deeper
// code raises it as a fatal_error carrying that line; korv_main is the one place that prints it
// and turns it into the exit status, so library code never ends the process itself.
//
// Every container that grows with the data grows through the helpers below. They catch the
// standard library's allocation failures and raise the allocation message with the byte count
// that was requested, so memory that cannot be had never aborts the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace korv {

class fatal_error : public std::runtime_error {
public:
    explicit fatal_error(const std::string& line) : std::runtime_error(line) {}
};

// The allocation message for a request of `bytes` bytes.
[[noreturn]] void fail_alloc(std::uint64_t bytes);

// Raises the allocation message when `count` cells of `cell_bytes` bytes cannot be addressed by
// the int32 positions and indexes the miner uses.
inline void check_addressable(std::size_t count, std::size_t cell_bytes) {
    if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        fail_alloc(static_cast<std::uint64_t>(count) * cell_bytes);
}

// Makes room for at least `count` elements; existing content and capacity are kept.
template <class T>
void reserve_or_exit(std::vector<T>& cells, std::size_t count) {
    if (count <= cells.capacity()) return;
    check_addressable(count, sizeof(T));
    try {
        cells.reserve(count);
    } catch (const std::bad_alloc&) {
        fail_alloc(static_cast<std::uint64_t>(count) * sizeof(T));
    } catch (const std::length_error&) {
        fail_alloc(static_cast<std::uint64_t>(count) * sizeof(T));
    }
}

// Resizes to `count` elements, new ones set to `fill`.
template <class T>
void resize_or_exit(std::vector<T>& cells, std::size_t count, const T& fill = T{}) {
    reserve_or_exit(cells, count);
    cells.resize(count, fill);
}

// Appends one element, doubling the capacity when it is exhausted.
template <class T>
void push_or_exit(std::vector<T>& cells, const T& value) {
    if (cells.size() == cells.capacity()) {
        const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
        std::size_t grown = cells.capacity() < 16 ? 16 : cells.capacity() * 2;
        if (grown > limit) grown = cells.size() < limit ? limit : cells.size() + 1;
        reserve_or_exit(cells, grown);
    }
    cells.push_back(value);
}

}  // namespace korv

#include <cstdio>

namespace korv {

// Opens `path` with the C library `mode`, or raises the open-error message naming both.
std::FILE* open_or_exit(const std::string& path, const char* mode);

}  // namespace korv
