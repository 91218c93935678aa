#include "spec_file.h"

#include <cmath>
#include <limits>

namespace korv {

bool read_spec(token_scanner& scanner, run_spec& spec) {
    spec = run_spec{};
    const scan_status name = scanner.read_word(spec.data_path);
    if (name == scan_status::read_error) return false;
    if (name != scan_status::ok) return true;

    std::int32_t* const fields[] = {&spec.num_items, &spec.num_sequences, &spec.max_length,
                                    &spec.sizing_length};
    for (std::int32_t* field : fields) {
        std::int32_t value = 0;
        const scan_status status = scanner.read_int(value);
        if (status == scan_status::read_error) return false;
        if (status != scan_status::ok && status != scan_status::out_of_range) break;
        *field = value;
    }
    return true;
}

std::int32_t abs_support_for(std::int32_t num_sequences, double rel_support) {
    double threshold = static_cast<double>(num_sequences) * rel_support + 0.5;
    if (std::isnan(threshold)) threshold = 0.0;
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    if (threshold < lowest) threshold = lowest;
    if (threshold > highest) threshold = highest;
    const auto truncated = static_cast<std::int32_t>(threshold);
    return truncated < 1 ? 1 : truncated;
}

}  // namespace korv
