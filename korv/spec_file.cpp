#include "spec_file.h"

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

}  // namespace korv
