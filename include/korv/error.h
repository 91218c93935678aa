// Failures of the korv library. A failure is thrown as a korv::Error whose message is the line the
// programs print for it, or, when memory runs out, as a std::bad_alloc (an AllocationFailure
// below when the size is known). The library never ends the process.
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

namespace korv {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// Memory ran out: a std::bad_alloc that also tells how many bytes were asked for (UINT64_MAX when
// the request's size itself overflowed).
class AllocationFailure : public std::bad_alloc {
public:
    explicit AllocationFailure(std::uint64_t bytes) : bytes_(bytes) {}
    std::uint64_t bytes() const noexcept { return bytes_; }
    const char* what() const noexcept override { return "out of memory"; }

private:
    std::uint64_t bytes_;
};

}  // namespace korv
