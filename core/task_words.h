// Tasks as int32 words, for handing them to another process (cluster_link.h): each engine's task
// codec (writeTask / readTask next to its task type) writes its flat arrays in order, each as
// its length and then its values, and reads them back in the same order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

#include "checked_vector.h"

namespace korvcore {

template <class Array>
void putWords(CheckedVector<int32_t>& words, const Array& values) {
    words.push_back(int32_t(values.size()));
    words.insert(words.end(), values.begin(), values.end());
}

// Reads what putWords wrote; a message that ends early or holds a negative length throws.
class WordReader {
public:
    explicit WordReader(std::span<const int32_t> words) : words_(words) {}

    int32_t next() {
        if (at_ >= words_.size()) malformed();
        return words_[at_++];
    }
    template <class Array>
    void array(Array& values) {
        const int32_t size = next();
        if (size < 0 || std::size_t(size) > words_.size() - at_) malformed();
        values.assign(words_.begin() + std::ptrdiff_t(at_), words_.begin() + std::ptrdiff_t(at_) + size);
        at_ += std::size_t(size);
    }
    // The whole message must have been read.
    void finish() const {
        if (at_ != words_.size()) malformed();
    }

private:
    [[noreturn]] static void malformed() { throw std::runtime_error("malformed task message"); }

    std::span<const int32_t> words_;
    std::size_t at_ = 0;
};

}  // namespace korvcore
