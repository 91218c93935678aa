// Loader of the binary sequence file.
//
// File format: nothing but little-endian two's-complement 32-bit words, no header or trailer.
//   value >= 0  an item id
//   -1          ends the current event (itemset)
//   -2          ends the current sequence
// A well-formed file is a run of sequences, each its events followed by -2, each event its items
// (ascending, no repeats) followed by -1; so every sequence ends with the pair -1, -2.
// One to three bytes left over at the end of the file are ignored.
//
// The loader appends every word unchanged to `sequenceData` (markers and stray values included)
// and reports three figures:
//   sequenceCount     number of -2 words;
//   maxSequenceItems  largest number of item words between two -2 (or the start and the first -2);
//                     items after the last -2 do not count;
//   largestItemId     largest value >= 0 anywhere in the file, -1 when there is none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvplus {

struct LoadFigures {
    int32_t largestItemId = -1;
    int32_t sequenceCount = 0;
    int32_t maxSequenceItems = 0;
};

// Accumulates figures word by word, so that bytes can arrive in chunks of any size.
class SequenceWordDecoder {
public:
    explicit SequenceWordDecoder(std::vector<int32_t>& sequenceData) : sequenceData_(sequenceData) {}

    // Decodes as many whole words as `bytes` (plus bytes held back from the last call) holds.
    void feed(std::span<const unsigned char> bytes);
    const LoadFigures& figures() const { return figures_; }

private:
    void addWord(int32_t value);

    std::vector<int32_t>& sequenceData_;
    LoadFigures figures_;
    int32_t itemsInSequence_ = 0;
    unsigned char pending_[4] = {};
    std::size_t pendingCount_ = 0;
};

// The largest number of words a database may hold: every index into it must fit in int32.
inline constexpr std::size_t kMaxDatabaseWords = 0x7fff0000;

struct LoadResult {
    LoadFigures figures;
    std::string error;  // empty on success; otherwise what went wrong, already naming the file
};

// Opens `path` and loads it. A file that cannot be opened or read (a directory, say) appends
// nothing, reports figures 0 / -1 and sets `error`. A read error part way keeps the words read
// so far and sets `error`.
LoadResult loadSequenceFile(std::vector<int32_t>& sequenceData, const std::string& path);

}  // namespace korvplus
