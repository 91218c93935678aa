// The korvplus run: command line, loading, the console report and the exit status.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "run_host.h"

namespace korvplus {

// Runs korvplus with the program's arguments (argv[0] is the program name) and returns the exit
// status: 0 on success and on the usage text; 1 when the input could not be read, the pattern
// file could not be written, the console could not be written or memory ran out. `host` (may be
// null) places the search.
int runKorvplus(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                korvcore::RunHost* host = nullptr);

// `value` as printf's %g with `precision` significant digits.
std::string formatGeneral(double value, int precision);


// The lines after the search: total, time in seconds (5 significant digits) and the histogram
// of closed patterns by number of items, non-empty lengths only.
void printClosingReport(std::ostream& out, int64_t closedCount, int32_t elapsedMilliseconds,
                        const std::vector<int64_t>& lengthHistogram);

}  // namespace korvplus
