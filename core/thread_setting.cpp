#include "thread_setting.h"

#include <sched.h>

#include <algorithm>
#include <thread>

namespace korvcore {

int32_t availableCpus() {
    int count = 0;
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    if (sched_getaffinity(0, sizeof cpus, &cpus) == 0) count = CPU_COUNT(&cpus);
    if (count < 1) count = int(std::thread::hardware_concurrency());
    return std::clamp<int32_t>(count, 1, kMaxThreads);
}

ThreadSetting parseThreadSetting(const char* value) {
    if (value == nullptr || *value == '\0') return {availableCpus(), true};
    int64_t number = 0;
    for (const char* c = value; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') return {1, false};
        number = number * 10 + (*c - '0');
        if (number > kMaxThreads) return {1, false};
    }
    if (number < 1) return {1, false};
    return {int32_t(number), true};
}

}  // namespace korvcore
