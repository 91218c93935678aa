#include <algorithm>
#include <optional>

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

namespace {

korvdatabase::DatabaseFormat formatOf(FileForm form) {
    switch (form) {
    case FileForm::binary: return korvdatabase::DatabaseFormat::binary;
    case FileForm::text: return korvdatabase::DatabaseFormat::text;
    case FileForm::korvPair: return korvdatabase::DatabaseFormat::korv;
    }
    return korvdatabase::DatabaseFormat::unknown;
}

std::optional<FileForm> fileFormOf(korvdatabase::DatabaseFormat format) {
    switch (format) {
    case korvdatabase::DatabaseFormat::binary: return FileForm::binary;
    case korvdatabase::DatabaseFormat::text: return FileForm::text;
    case korvdatabase::DatabaseFormat::korv: return FileForm::korvPair;
    case korvdatabase::DatabaseFormat::unknown: break;
    }
    return std::nullopt;
}

Database readAs(const std::string& path, korvdatabase::DatabaseFormat format) {
    Database database;
    if (std::string error = korvdatabase::loadDatabase(path, format, DatabaseAccess::data(database).db); !error.empty())
        throw Error(error);
    return database;
}

}  // namespace

std::optional<FileForm> fileFormOfPath(const std::string& path) {
    return fileFormOf(korvdatabase::formatFromPath(path));
}

std::optional<FileForm> fileFormNamed(std::string_view name) { return fileFormOf(korvdatabase::formatFromName(name)); }

// An unknown extension is reported after the file is found readable, as korvdb reports it.
Database Database::read(const std::string& path) { return readAs(path, korvdatabase::formatFromPath(path)); }

Database Database::read(const std::string& path, FileForm form) { return readAs(path, formatOf(form)); }

void Database::write(const std::string& path, FileForm form, bool flattenEvents) const {
    const EventsForm events(*data_);
    if (std::string error = korvdatabase::saveDatabase(path, formatOf(form), events.db(), flattenEvents);
        !error.empty())
        throw Error(error);
}

Database Database::fromBinaryWords(std::vector<int32_t> words) {
    Database database;
    korvdatabase::SequenceDatabase& db = database.data_->db;
    db.words = korvplus::normalizeMarkers(words);
    std::vector<int32_t>().swap(words);
    db.words.erase(db.words.begin());  // the leading -2
    for (std::size_t i = 0; i < db.words.size(); ++i) {
        if (db.words[i] == -2) db.sequenceStart.push_back(uint32_t(i + 1));
        db.largestItem = std::max(db.largestItem, db.words[i]);
    }
    database.data_->asGiven = true;
    return database;
}

Database Database::fromItemRuns(ItemRuns runs) {
    Database database;
    Data& data = *database.data_;
    if (runs.empty()) return database;
    if (runs.front() != -1 || runs.back() != -1)
        throw Error("item runs must start and end with -1");
    if (runs.size() > std::size_t(INT32_MAX)) throw Error("the database holds too many items");
    for (std::size_t p = 0; p + 1 < runs.size(); ++p) {
        if (runs[p] < -1) throw Error("item ids must be 0 or more, not " + std::to_string(runs[p]));
        if (runs[p] == -1) data.runMarks.push_back(int32_t(p));
        data.runsLargestItem = std::max(data.runsLargestItem, runs[p]);
    }
    data.runs = std::move(runs);
    data.itemRuns = true;
    return database;
}

korvdatabase::SequenceDatabase DatabaseAccess::eventsForm(const Database::Data& data) {
    if (!data.itemRuns) return data.db;
    korvdatabase::SequenceDatabase db;
    db.words.reserve(2 * data.runs.size());
    for (std::size_t p = 1; p < data.runs.size(); ++p) {
        if (data.runs[p] >= 0) {
            db.words.push_back(data.runs[p]);
            db.words.push_back(-1);
        } else {
            db.words.push_back(-2);
            db.sequenceStart.push_back(uint32_t(db.words.size()));
        }
    }
    db.largestItem = data.runsLargestItem;
    return db;
}

void Database::add(std::span<const Event> sequence) {
    if (data_->itemRuns) {
        data_->db = DatabaseAccess::eventsForm(*data_);
        data_->itemRuns = false;
        ItemRuns().swap(data_->runs);
        decltype(data_->runMarks)().swap(data_->runMarks);
    }
    korvdatabase::SequenceDatabase& db = data_->db;
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

std::size_t Database::sequenceCount() const {
    return data_->itemRuns ? data_->runMarks.size() : data_->db.sequenceCount();
}

int32_t Database::largestItem() const { return data_->itemRuns ? data_->runsLargestItem : data_->db.largestItem; }

Sequence Database::sequence(std::size_t index) const {
    if (index >= sequenceCount()) throw Error("no sequence " + std::to_string(index));
    if (data_->itemRuns) {
        Sequence sequence;
        for (std::size_t p = std::size_t(data_->runMarks[index]) + 1; data_->runs[p] >= 0; ++p)
            sequence.push_back(Event{data_->runs[p]});
        return sequence;
    }
    const korvdatabase::SequenceDatabase& db = data_->db;
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

std::vector<int32_t> Database::words() const {
    if (data_->itemRuns) return DatabaseAccess::eventsForm(*data_).words;
    return data_->db.words;
}

}  // namespace korv
