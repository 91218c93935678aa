#include "thread_count.h"

#include <sched.h>

#include <charconv>
#include <cstring>
#include <thread>

namespace korv {

namespace {

int available_cpus() {
    cpu_set_t mask;
    CPU_ZERO(&mask);
    int count = 0;
    if (sched_getaffinity(0, sizeof mask, &mask) == 0) count = CPU_COUNT(&mask);
    if (count < 1) count = static_cast<int>(std::thread::hardware_concurrency());
    return count < 1 ? 1 : (count > max_threads ? max_threads : count);
}

}  // namespace

std::optional<int> thread_count(const char* value, std::string& error_line) {
    if (value == nullptr || *value == '\0') return available_cpus();
    const char* const end = value + std::strlen(value);
    int count = 0;
    const auto [stop, error] = std::from_chars(value, end, count);
    if (error == std::errc{} && stop == end && count >= 1 && count <= max_threads) return count;
    error_line = "Error: KORV_THREADS=" + std::string(value) + " is not an integer from 1 to " +
                 std::to_string(max_threads) + "\n";
    return std::nullopt;
}

}  // namespace korv
