// The number of search threads of a run, from the environment variable KORV_THREADS.
//
// Unset or empty: the CPUs in the process's affinity mask (at least 1). Otherwise the value must
// be a decimal integer from 1 to max_threads; 1 runs the plain serial search.
#pragma once

#include <optional>
#include <string>

namespace korv {

inline constexpr int max_threads = 1024;

// The thread count `value` asks for (null: the variable is unset), or nothing when it is
// invalid; `error_line` then holds the one-line message naming the variable and its value.
std::optional<int> thread_count(const char* value, std::string& error_line);

}  // namespace korv
