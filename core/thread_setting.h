// The number of search threads, from the environment variable KORV_THREADS; one parse and one cap
// for every program, each of which words its own message and exit status for a bad value.
#pragma once

#include <cstdint>

namespace korvcore {

inline constexpr const char* kThreadsVariable = "KORV_THREADS";
inline constexpr int32_t kMaxThreads = 1024;

// The CPUs in this process's affinity mask (as taskset sets it), from 1 to kMaxThreads: the
// default thread count.
int32_t availableCpus();

struct ThreadSetting {
    int32_t threads = 1;
    bool valid = true;  // false: threads is unusable and the program reports the value
};

// `value` is the variable's text, or null when it is unset. Unset or empty gives availableCpus();
// otherwise it must be decimal digits only, with a value from 1 to kMaxThreads.
ThreadSetting parseThreadSetting(const char* value);

}  // namespace korvcore
