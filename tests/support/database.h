// Test databases in memory, their encodings as the programs read them, and a family of random
// ones with fixed seeds.
//
// A Database is a list of sequences, a sequence a list of events, an event a list of item ids
// (ascending, no repeats, in a well-formed database). korv reads sequences of single items; an
// ItemSequences value holds those, and asOneItemEvents turns it into the equivalent Database.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace testsupport {

using Event = std::vector<int32_t>;
using Sequence = std::vector<Event>;
using Database = std::vector<Sequence>;
using ItemSequences = std::vector<std::vector<int32_t>>;

Database asOneItemEvents(const ItemSequences& sequences);

// The words of a binary sequence file: each event's items then -1, each sequence ended by -2.
std::vector<int32_t> toWords(const Database& database);

// The bytes of a binary sequence file: every word as 4 bytes, least significant first.
std::string littleEndianBytes(const std::vector<int32_t>& words);

// A korv data file: each sequence's items then -1, one sequence a line, then -2. With `noise`,
// separators vary between blanks and line breaks and skipped tokens (-7) stand between items.
std::string tokenText(const ItemSequences& sequences, std::mt19937* noise = nullptr);

// How item ids are spread over the alphabet's letters 0, 1, 2, ...
enum class IdSpread {
    dense,   // letter k is id k
    gapped,  // letter k is id 2k, so some ids below the largest are unused
    sparse,  // ids far apart, up to 2147483647
};

struct DatabaseShape {
    int minAlphabet = 1;        // letters drawn per database: minAlphabet .. maxAlphabet
    int maxAlphabet = 5;
    int minSequences = 1;
    int maxSequences = 8;
    int maxEvents = 7;          // events per sequence: 0 .. maxEvents
    int maxItemsPerEvent = 1;   // 1 gives one-item events; larger sizes are drawn per event
    bool distinctItems = false; // no sequence holds an item twice (a repeat drawn is left out)
    IdSpread ids = IdSpread::dense;
};

Database randomDatabase(std::mt19937& random, const DatabaseShape& shape);

// randomDatabase with one-item events, as item sequences.
ItemSequences randomItemSequences(std::mt19937& random, DatabaseShape shape);

// Up to maxWords words of any kind in any order: small items, -1, -2 and stray negative values.
std::vector<int32_t> randomWords(std::mt19937& random, std::size_t maxWords);

}  // namespace testsupport
