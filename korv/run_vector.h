// Checked storage: every container of a korv run that grows with the data is a run_vector.
//
// Invariants:
//   1. Storage comes from the search core's checked allocator, so a failed allocation is raised
//      as korv::AllocationFailure with its byte count, which korv_main reports with the
//      allocation message, whatever the build, never as an abort.
//   2. The growth helpers below refuse sizes beyond what int32 positions and indexes can
//      address, in the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "checked_vector.h"

namespace korv {

template <class T>
using run_vector = korvcore::CheckedVector<T>;

// Raises the allocation failure when `count` cells of `cell_bytes` bytes cannot be addressed by
// the int32 positions and indexes the miner uses.
inline void check_addressable(std::size_t count, std::size_t cell_bytes) {
    if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        throw korv::AllocationFailure(static_cast<std::uint64_t>(count) * cell_bytes);
}

// Makes room for at least `count` elements of a run_vector or a plain vector; existing content
// and capacity are kept.
template <class Vector>
void reserve_or_exit(Vector& cells, std::size_t count) {
    if (count <= cells.capacity()) return;
    check_addressable(count, sizeof(typename Vector::value_type));
    korvcore::reserveChecked(cells, count);
}

// Resizes to `count` elements, new ones set to `fill`.
template <class Vector, class T = typename Vector::value_type>
void resize_or_exit(Vector& cells, std::size_t count, const T& fill = T{}) {
    reserve_or_exit(cells, count);
    cells.resize(count, fill);
}

// Appends one element, doubling the capacity when it is exhausted.
template <class Vector, class T = typename Vector::value_type>
void push_or_exit(Vector& cells, const T& value) {
    if (cells.size() == cells.capacity()) {
        const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
        std::size_t grown = cells.capacity() < 16 ? 16 : cells.capacity() * 2;
        if (grown > limit) grown = cells.size() < limit ? limit : cells.size() + 1;
        reserve_or_exit(cells, grown);
    }
    cells.push_back(value);
}

}  // namespace korv
