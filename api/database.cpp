#include <algorithm>

#include "database_data.h"
#include "korv/error.h"
#include "search_database.h"

namespace korv {

Database::Database() : data_(std::make_unique<Data>()) {}
Database::~Database() = default;
Database::Database(const Database& other) : data_(std::make_unique<Data>(*other.data_)) {}
Database::Database(Database&& other) noexcept : data_(std::make_unique<Data>(std::move(*other.data_))) {}
Database& Database::operator=(const Database& other) {
    *data_ = *other.data_;
    return *this;
}
Database& Database::operator=(Database&& other) noexcept {
    *data_ = std::move(*other.data_);
    return *this;
}

Database Database::fromSequences(const std::vector<Sequence>& sequences) {
    Database database;
    for (const Sequence& sequence : sequences) database.add(sequence);
    return database;
}

Database Database::read(const std::string& path) {
    Database database;
    korvdb::SequenceDatabase& db = database.data_->db;
    if (std::string error = korvdb::loadDatabase(path, korvdb::formatFromPath(path), db); !error.empty())
        throw Error(error);
    return database;
}

Database Database::fromBinaryWords(std::vector<int32_t> words) {
    Database database;
    korvdb::SequenceDatabase& db = database.data_->db;
    db.words = korvplus::normalizeMarkers(words, true);
    std::vector<int32_t>().swap(words);
    db.words.erase(db.words.begin());  // the leading -2
    for (std::size_t i = 0; i < db.words.size(); ++i) {
        if (db.words[i] == -2) db.sequenceStart.push_back(uint32_t(i + 1));
        db.largestItem = std::max(db.largestItem, db.words[i]);
    }
    database.data_->asGiven = true;
    return database;
}

void Database::add(std::span<const Event> sequence) {
    korvdb::SequenceDatabase& db = data_->db;
    Event sorted;
    for (const Event& event : sequence) {
        sorted.assign(event.begin(), event.end());
        std::sort(sorted.begin(), sorted.end());
        sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
        if (sorted.empty()) continue;
        if (sorted.front() < 0) throw Error("item ids must be 0 or more, not " + std::to_string(sorted.front()));
        db.words.insert(db.words.end(), sorted.begin(), sorted.end());
        db.words.push_back(-1);
        db.largestItem = std::max(db.largestItem, sorted.back());
    }
    db.words.push_back(-2);
    if (db.words.size() >= std::size_t(INT32_MAX)) throw Error("the database holds too many items");
    db.sequenceStart.push_back(uint32_t(db.words.size()));
}

std::size_t Database::sequenceCount() const { return data_->db.sequenceCount(); }

int32_t Database::largestItem() const { return data_->db.largestItem; }

Sequence Database::sequence(std::size_t index) const {
    const korvdb::SequenceDatabase& db = data_->db;
    if (index >= db.sequenceCount()) throw Error("no sequence " + std::to_string(index));
    Sequence sequence;
    Event event;
    for (uint32_t i = db.sequenceStart[index]; i + 1 < db.sequenceStart[index + 1]; ++i) {
        if (db.words[i] >= 0) {
            event.push_back(db.words[i]);
        } else {
            sequence.push_back(std::move(event));
            event.clear();
        }
    }
    return sequence;
}

std::span<const int32_t> Database::words() const { return data_->db.words; }

}  // namespace korv
