// `korvdb support`: the lines of a result file with the support of each pattern in a database.
#pragma once

#include <string>

#include "korv/database.h"

namespace korvdb {

// Reads the result file at `resultPath` and writes each line unchanged, a tab and the number of
// sequences of `db` that contain its pattern (with `withSequences` another tab and their numbers,
// comma-separated), to `outPath`, or to standard output when it is empty, a block at a time.
// Empty on success; otherwise the message.
std::string writeSupports(const korv::Database& db, const std::string& resultPath, bool withSequences,
                          const std::string& outPath);

}  // namespace korvdb
