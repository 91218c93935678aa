// The run frame of korv and korvdump: arguments, spec file, loading, mining, "frequent.dat" and
// the report.
#pragma once

namespace korv {

// Runs one program invocation: argv[1] is the spec file, argv[2] the relative support. Prints
// the report, or the message of a fatal condition, on standard output, and returns the exit
// status: 0 after the report, -1 on any fatal condition. With `write_patterns` (korvdump) every
// closed sequence is written to "frequent.dat"; otherwise that file is only created empty.
int korv_main(int argc, char** argv, bool write_patterns);

}  // namespace korv
