// An allocator whose failures carry their size: storage that grows with the data allocates
// through it, so that running out of memory is reported as AllocationFailure (korv/error.h) with
// the number of bytes asked for, from malloc, whatever the build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "korv/error.h"

namespace korv {

// malloc, checked: a block of `bytes` bytes (at least one), or AllocationFailure.
inline void* allocateChecked(std::size_t bytes) {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) throw AllocationFailure(bytes);
    return block;
}

// A request whose byte count overflows size_t fails the same way, with bytes = UINT64_MAX.
template <class T>
struct CheckedAllocator {
    using value_type = T;
    CheckedAllocator() = default;
    template <class U>
    CheckedAllocator(const CheckedAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
            throw AllocationFailure(std::numeric_limits<std::uint64_t>::max());
        return static_cast<T*>(allocateChecked(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t) noexcept { std::free(block); }
    friend bool operator==(const CheckedAllocator&, const CheckedAllocator&) { return true; }
};

// Sequences of single items back to back (see Database::fromItemRuns).
using ItemRuns = std::vector<int32_t, CheckedAllocator<int32_t>>;

}  // namespace korv
