// Growable arrays whose allocation failures carry their size.
//
// Every container of the search that grows with the data allocates through CheckedAllocator
// (korv/checked_allocator.h):
//   1. a failed allocation throws AllocationFailure (korv/error.h), a std::bad_alloc that also tells how many
//      bytes were asked for, so each program can word its own message (korv prints the size);
//   2. a request whose byte count overflows size_t fails the same way, with bytes = UINT64_MAX.
// UninitializedAllocator leaves new elements of trivial types unset: for per-node arrays that are
// written in full before they are read, where zero-filling at every node would be wasted work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "korv/checked_allocator.h"
#include "korv/error.h"

namespace korvcore {

using korv::AllocationFailure;

// Reserves room for `count` elements in a plain vector; a failure is raised as AllocationFailure.
template <class Vector>
void reserveChecked(Vector& vector, std::size_t count) {
    using T = typename Vector::value_type;
    if (count <= vector.capacity()) return;
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T))
        throw AllocationFailure(std::numeric_limits<std::uint64_t>::max());
    try {
        vector.reserve(count);
    } catch (const std::exception&) {  // std::bad_alloc or std::length_error
        throw AllocationFailure(std::uint64_t(count) * sizeof(T));
    }
}

using korv::CheckedAllocator;

template <class T>
struct UninitializedAllocator : CheckedAllocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        if constexpr (sizeof...(Args) == 0)
            ::new (static_cast<void*>(at)) U;
        else
            ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

template <class T>
using CheckedVector = std::vector<T, CheckedAllocator<T>>;

template <class T>
using UninitializedVector = std::vector<T, UninitializedAllocator<T>>;

}  // namespace korvcore
