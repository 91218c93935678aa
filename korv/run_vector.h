// Checked storage: every container of a korv run that grows with the data is a run_vector.
//
// Invariants:
//   1. Storage comes from the search core's checked allocator, so a failed allocation is raised
//      as korv::AllocationFailure with its byte count, which korv_main reports with the
//      allocation message, whatever the build, never as an abort.
//   2. The growth helpers below refuse sizes beyond what int32 positions and indexes can
//      address, in the same way.
#pragma once

#include <algorithm>
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

// Resizes to `count` elements, new ones set to `fill`.
template <class Vector, class T = typename Vector::value_type>
void resize_or_exit(Vector& cells, std::size_t count, const T& fill = T{}) {
    check_addressable(count, sizeof(T));
    korvcore::reserveChecked(cells, count);
    cells.resize(count, fill);
}

// Appends one element, doubling the capacity (up to the int32 limit) when it is exhausted.
template <class Vector, class T = typename Vector::value_type>
void push_or_exit(Vector& cells, const T& value) {
    if (cells.size() == cells.capacity()) {
        check_addressable(cells.size() + 1, sizeof(T));
        const std::size_t limit = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
        korvcore::reserveChecked(cells, std::min(std::max<std::size_t>(16, cells.capacity() * 2), limit));
    }
    cells.push_back(value);
}

}  // namespace korv
