// A sequence database in memory, and its three file forms.
//
// `words` uses the binary encoding: each sequence is its events followed by -2, each event its
// item ids followed by -1. `sequenceStart[s]` is the index of sequence s's first word;
// `sequenceStart.back()` == words.size().
//
// Invariants (established by every reader, relied on by every user):
//   1. Items are 0 .. largestItem; the only negative words are -1 and -2.
//   2. The items of an event ascend strictly (no repeats). Events may be empty.
//   3. Every sequence ends with -2, and a -2 follows either -1 or the previous -2 (or the start).
//   4. words.size() < 2^31, so every index fits int32.
//
// The forms:
//   binary  ".bin"   the words above as little-endian 32-bit integers, nothing else;
//   text    ".txt"   the same words as decimal tokens, one sequence per line ("1 2 -1 3 -1 -2");
//   korv    ".spec"  a spec file "DATA ITEMS SEQUENCES LONGEST LONGEST" naming a data file
//                    beside it, which holds one sequence per line of single items ended by -1,
//                    and a final -2; each item is an event of its own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvdatabase {

struct SequenceDatabase {
    std::vector<int32_t> words;
    std::vector<uint32_t> sequenceStart{0};
    int32_t largestItem = -1;

    std::size_t sequenceCount() const { return sequenceStart.size() - 1; }
};

enum class DatabaseFormat { binary, text, korv, unknown };

// From a file name's extension; unknown when it is none of .bin, .txt, .spec.
DatabaseFormat formatFromPath(const std::string& path);
// From a --from/--to value ("bin", "txt", "spec"); unknown otherwise.
DatabaseFormat formatFromName(std::string_view name);

// Readers of bytes already in memory; `file` names the input in messages. Each returns an empty
// string on success, otherwise one line naming the file and the position.
std::string readBinaryDatabase(std::string_view bytes, const std::string& file, SequenceDatabase& db);
std::string readTextDatabase(std::string_view text, const std::string& file, SequenceDatabase& db);
std::string readKorvData(std::string_view text, const std::string& file, SequenceDatabase& db);

struct KorvSpec {
    std::string dataName;
    int32_t itemCount = 0;
    int32_t sequenceCount = 0;
    int32_t maxLength = 0;
    int32_t sizingLength = 0;
};
std::string readKorvSpec(std::string_view text, const std::string& file, KorvSpec& spec);

// Loads `path` in `format`. For a korv spec the data file is found beside the spec.
std::string loadDatabase(const std::string& path, DatabaseFormat format, SequenceDatabase& db);

// Writes `db` to `path` in `format`, each file through a temporary name. A korv target needs one
// item per event; `flatten` writes an event's items one after another instead of failing.
std::string saveDatabase(const std::string& path, DatabaseFormat format, const SequenceDatabase& db,
                         bool flatten);

// The data file name a spec at `specPath` gets: its base name with ".dat" for ".spec".
std::string korvDataPathFor(const std::string& specPath);

}  // namespace korvdatabase
