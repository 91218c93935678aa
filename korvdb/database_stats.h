// Figures of a sequence database, as `korvdb stats` prints them.
#pragma once

#include <string>

#include "sequence_database.h"

namespace korvdb {

// The report: counts, items per event, the absolute supports that common relative supports give
// in each miner, and a histogram of sequence lengths (in items) over power-of-two buckets.
std::string describeDatabase(const SequenceDatabase& db);

}  // namespace korvdb
