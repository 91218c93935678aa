// The korvdb command line: one subcommand per task on the data around the miners.
#pragma once

#include <ostream>

namespace korvdb {

// Runs `korvdb SUBCOMMAND ...`; returns the exit status (0 on success, 1 on any failure, after
// one line on `err`).
int runKorvdb(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace korvdb
