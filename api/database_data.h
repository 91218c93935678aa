// The storage behind korv::Database, shared by the library's sources.
#pragma once

#include "korv/database.h"
#include "sequence_database.h"

namespace korv {

// Invariants: as korvdatabase::SequenceDatabase, except that a database read as korvplus reads
// binary words (`asGiven`) may hold events in the order given, repeats included. A database of
// item runs (fromItemRuns) keeps db empty and holds its sequences in `runs` instead:
// runs[runMarks[s]] is the -1 before sequence s, and runs ends with -1.
struct Database::Data {
    korvdatabase::SequenceDatabase db;
    bool asGiven = false;
    bool itemRuns = false;
    ItemRuns runs;
    std::vector<int32_t, CheckedAllocator<int32_t>> runMarks;
    int32_t runsLargestItem = -1;
};


struct DatabaseAccess {
    using Data = Database::Data;
    static const Database::Data& data(const Database& database) { return *database.data_; }
    static Database::Data& data(Database& database) { return *database.data_; }
    // The database in events form: `data.db`, or the item runs converted.
    static korvdatabase::SequenceDatabase eventsForm(const Database::Data& data);
};

// The database in events form, for reading: `data.db` itself, or for item runs a converted copy
// held here. `data` must outlive it.
class EventsForm {
public:
    explicit EventsForm(const DatabaseAccess::Data& data)
        : converted_(data.itemRuns ? DatabaseAccess::eventsForm(data) : korvdatabase::SequenceDatabase{}),
          db_(data.itemRuns ? converted_ : data.db) {}
    EventsForm(const EventsForm&) = delete;
    EventsForm& operator=(const EventsForm&) = delete;
    const korvdatabase::SequenceDatabase& db() const { return db_; }

private:
    korvdatabase::SequenceDatabase converted_;  // empty unless the database holds item runs
    const korvdatabase::SequenceDatabase& db_;
};

}  // namespace korv
