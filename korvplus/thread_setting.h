// The number of search threads, from the environment variable KORV_THREADS.
#pragma once

#include <cstdint>
#include <string>

namespace korvplus {

inline constexpr const char* kThreadsVariable = "KORV_THREADS";
inline constexpr int32_t kMaxThreads = 1024;

struct ThreadSetting {
    int32_t threads = 1;
    std::string error;  // empty when the value is usable
};

// `value` is the variable's text, or null when it is unset. Unset or empty gives `defaultThreads`;
// otherwise it must be a decimal integer from 1 to kMaxThreads, digits only.
ThreadSetting parseThreadSetting(const char* value, int32_t defaultThreads);

}  // namespace korvplus
