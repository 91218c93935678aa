// The report `korvdb stats` prints for a database's figures.
#pragma once

#include <string>

#include "korv/statistics.h"

namespace korvdb {

// The counts, items per event, the absolute supports that common relative supports give in each
// miner, and a histogram of sequence lengths (in items) over power-of-two buckets.
std::string describeStatistics(const korv::DatabaseStatistics& figures);

}  // namespace korvdb
