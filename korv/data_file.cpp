#include "data_file.h"

#include <algorithm>

#include "run_vector.h"

namespace korv {

load_status load_sequences(token_scanner& scanner, std::int32_t num_sequences, data_file_contents& contents) {
    contents = data_file_contents{};
    korv::ItemRuns& runs = contents.runs;
    push_or_exit(runs, -1);
    std::int64_t ends_read = 0;
    while (ends_read <= num_sequences) {
        std::int32_t token = 0;
        const scan_status status = scanner.read_int(token);
        if (status == scan_status::end_of_input) break;
        if (status == scan_status::read_error) return load_status::read_error;
        if (status != scan_status::ok) return load_status::invalid_token;
        if (token >= 0) {
            push_or_exit(runs, token);
            contents.largest_id = std::max(contents.largest_id, token);
        } else if (token == -1 || token == -2) {
            push_or_exit(runs, -1);
            ++ends_read;
        }
    }
    if (runs.back() != -1) push_or_exit(runs, -1);
    return load_status::ok;
}

}  // namespace korv
