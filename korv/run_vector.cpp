#include "run_vector.h"

namespace korv {

void* alloc_or_exit(std::size_t bytes) {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) fail_alloc(bytes);
    return block;
}

}  // namespace korv
