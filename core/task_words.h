// Tasks as int32 words, for handing them to another process (cluster_link.h): each engine's task
// codec (writeTask / readTask next to its task type) writes its flat arrays in order, each as
// its length and then its values, and reads them back in the same order.
//
// Every process holds the root task of the run whole (`root`, the same everywhere), and a task
// of the root's level holds a run of the root's children with their entries unchanged; so such
// a task travels as that run alone (RootRange) and is rebuilt from the reader's root. Deeper
// tasks travel whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

#include "checked_vector.h"

namespace korvcore {

// The children [first, first + count) of the root's level; first is -1 for a task sent whole.
struct RootRange {
    int32_t first = -1;
    int32_t count = 0;
};

// Where the root-level task's children (its items from nextChild on, ascending) start among the
// root's; -1 when they are not a run of them.
template <class Level>
RootRange findRootRange(const Level& level, const Level& root) {
    const int32_t count = level.childCount() - level.nextChild;
    if (count <= 0) return {};
    const int32_t item = level.childItem[std::size_t(level.nextChild)];
    int32_t low = 0;
    int32_t high = root.childCount();
    while (low < high) {
        const int32_t middle = low + (high - low) / 2;
        if (root.childItem[std::size_t(middle)] < item)
            low = middle + 1;
        else
            high = middle;
    }
    if (low + count > root.childCount()) return {};
    for (int32_t c = 0; c < count; ++c)
        if (root.childItem[std::size_t(low + c)] != level.childItem[std::size_t(level.nextChild + c)]) return {};
    return {low, count};
}

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
