// korv counts the closed sequences of a run and reports them by length; the same source built
// with KORV_WRITE_PATTERNS is korvdump, which also writes each one to "frequent.dat".
#include "korv_run.h"

#ifdef KORV_WRITE_PATTERNS
constexpr bool write_patterns = true;
#else
constexpr bool write_patterns = false;
#endif

int main(int argc, char** argv) { return korv::korv_main(argc, argv, write_patterns); }
