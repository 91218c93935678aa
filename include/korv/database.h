// A database of sequences in memory: each sequence a list of events, each event a set of item ids
// (integers from 0 to 2147483647).
//
// Stored as words in the binary file encoding: each event's items then -1, each sequence's events
// then -2. Invariants: the only negative words are -1 and -2; every sequence ends with -2; events
// built with add() or fromSequences() hold their items ascending without repeats and are never
// empty (empty events are dropped; a sequence may be empty). A database of single items made by
// fromItemRuns() keeps that leaner form instead, until add() is called.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "korv/checked_allocator.h"

namespace korv {

using Event = std::vector<int32_t>;
using Sequence = std::vector<Event>;

// The three file forms of a database.
enum class FileForm {
    binary,    // ".bin": little-endian 32-bit words, -1 ends an event, -2 a sequence
    text,      // ".txt": the same words as decimal text, one sequence a line
    korvPair,  // ".spec": a korv spec naming the data file beside it, which holds single items
};

// The form a path's extension names (.bin, .txt, .spec); none for any other.
std::optional<FileForm> fileFormOfPath(const std::string& path);
// The form named as korvdb's --from and --to name it (bin, txt, spec); none for any other.
std::optional<FileForm> fileFormNamed(std::string_view name);

class Database {
public:
    Database();
    ~Database();
    Database(const Database& other);
    Database(Database&& other) noexcept;
    Database& operator=(const Database& other);
    Database& operator=(Database&& other) noexcept;

    // Sequences given as events of item ids; each event is sorted and its repeats dropped.
    // Throws korv::Error on a negative item.
    static Database fromSequences(const std::vector<Sequence>& sequences);

    // Reads one of the three file forms, chosen by the extension: ".bin" (little-endian 32-bit
    // words), ".txt" (the same words as decimal text, one sequence a line) or ".spec" (a korv spec
    // naming a data file of single items beside it). Throws korv::Error naming the file and the
    // position of what is wrong.
    static Database read(const std::string& path);
    // Reads `path` in `form`, whatever its extension.
    static Database read(const std::string& path, FileForm form);

    // The words of a binary sequence file, read as korvplus reads them: values below -2 are
    // dropped, a -2 right after an item closes the event first, words after the last -2 are
    // dropped, and events keep their items in the order given.
    static Database fromBinaryWords(std::vector<int32_t> words);

    // Sequences of single items back to back, as korv's data files hold them: `runs` is -1, then
    // each sequence's items (ids 0 or more, repeats allowed) followed by -1; empty is no sequence.
    // Takes half the memory of one-item events, and mining it converts nothing. Throws
    // korv::Error when `runs` is not of that form.
    static Database fromItemRuns(ItemRuns runs);

    // Writes the database to `path` in `form`, each file under a temporary name renamed into
    // place, so that a failure leaves no file behind. A korv pair is PATH and its data file
    // beside it (PATH less ".spec", plus ".dat"), with the spec's fields computed; it holds one
    // item per event, so an event of other than one item is an error unless `flattenEvents`
    // writes its items one after another. Throws korv::Error with the message korvdb prints.
    void write(const std::string& path, FileForm form, bool flattenEvents = false) const;

    // Appends one sequence (as fromSequences does).
    void add(std::span<const Event> sequence);

    std::size_t sequenceCount() const;
    int32_t largestItem() const;  // -1 when there is none
    Sequence sequence(std::size_t index) const;
    // The binary encoding of the whole database (a copy).
    std::vector<int32_t> words() const;

private:
    friend struct DatabaseAccess;
    struct Data;
    std::unique_ptr<Data> data_;
};

}  // namespace korv
