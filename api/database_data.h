// The storage behind korv::Database, shared by the library's sources.
#pragma once

#include "korv/database.h"
#include "sequence_database.h"

namespace korv {

// Invariants: as korvdb::SequenceDatabase, except that a database read as korvplus reads binary
// words (`asGiven`) may hold events in the order given, repeats included.
struct Database::Data {
    korvdb::SequenceDatabase db;
    bool asGiven = false;
};

struct DatabaseAccess {
    static const Database::Data& data(const Database& database) { return *database.data_; }
    static Database::Data& data(Database& database) { return *database.data_; }
};

}  // namespace korv
