// Checked storage: every container of a korv run that grows with the data is a run_vector.
//
// Invariants:
//   1. Storage comes from alloc_or_exit, so a failed allocation is seen as a null result and
//      reported with its byte count as a fatal_error (the allocation message), whatever the
//      build, never as an abort.
//   2. The growth helpers below refuse sizes beyond what int32 positions and indexes can
//      address, with the same message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "fatal_error.h"

namespace korv {

// malloc, checked: a block of `bytes` bytes, or the allocation message.
void* alloc_or_exit(std::size_t bytes);

template <class T>
struct run_allocator {
    using value_type = T;
    run_allocator() = default;
    template <class U>
    run_allocator(const run_allocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
            fail_alloc(std::numeric_limits<std::uint64_t>::max());
        return static_cast<T*>(alloc_or_exit(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t) noexcept { std::free(block); }
    friend bool operator==(const run_allocator&, const run_allocator&) { return true; }
};

template <class T>
using run_vector = std::vector<T, run_allocator<T>>;

// Raises the allocation message when `count` cells of `cell_bytes` bytes cannot be addressed by
// the int32 positions and indexes the miner uses.
inline void check_addressable(std::size_t count, std::size_t cell_bytes) {
    if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        fail_alloc(static_cast<std::uint64_t>(count) * cell_bytes);
}

// Makes room for at least `count` elements; existing content and capacity are kept.
template <class T>
void reserve_or_exit(run_vector<T>& cells, std::size_t count) {
    if (count <= cells.capacity()) return;
    check_addressable(count, sizeof(T));
    cells.reserve(count);
}

// Resizes to `count` elements, new ones set to `fill`.
template <class T>
void resize_or_exit(run_vector<T>& cells, std::size_t count, const T& fill = T{}) {
    reserve_or_exit(cells, count);
    cells.resize(count, fill);
}

// Appends one element, doubling the capacity when it is exhausted.
template <class T>
void push_or_exit(run_vector<T>& cells, const T& value) {
    if (cells.size() == cells.capacity()) {
        const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
        std::size_t grown = cells.capacity() < 16 ? 16 : cells.capacity() * 2;
        if (grown > limit) grown = cells.size() < limit ? limit : cells.size() + 1;
        reserve_or_exit(cells, grown);
    }
    cells.push_back(value);
}

}  // namespace korv
