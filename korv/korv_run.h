// The run frame of korv and korvdump: arguments, spec file, loading, mining, "frequent.dat" and
// the report.
#pragma once

#include "run_host.h"

namespace korv {

// Runs one program invocation: argv[1] is the spec file, argv[2] the relative support. Prints
// the report, or the message of a fatal condition, on standard output, and returns the exit
// status: 0 after the report, -1 on any fatal condition. With `write_patterns` (korvdump) every
// closed sequence is written to "frequent.dat"; otherwise that file is only created empty.
// `host` (may be null) places the search; it is told of the runs as read (data_file.h), before
// korv::Database::fromItemRuns takes them.
int korv_main(int argc, char** argv, bool write_patterns, korvcore::RunHost* host = nullptr);

}  // namespace korv
