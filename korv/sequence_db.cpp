#include "sequence_db.h"

#include <algorithm>

#include "dense_ids.h"
#include "run_vector.h"

namespace korv {

namespace {

// Reads the tokens into `cells`: items as read, every end token as seq_end_mark, one mark in
// front of the first sequence and one after the last. Returns the largest item id, or -1.
load_status read_tokens(token_scanner& scanner, std::int32_t num_sequences,
                        run_vector<std::int32_t>& cells, std::int32_t& max_id) {
    max_id = -1;
    push_or_exit(cells, seq_end_mark);
    std::int64_t ends_read = 0;
    while (ends_read <= num_sequences) {
        std::int32_t token = 0;
        const scan_status status = scanner.read_int(token);
        if (status == scan_status::end_of_input) break;
        if (status == scan_status::read_error) return load_status::read_error;
        if (status != scan_status::ok) return load_status::invalid_token;
        if (token >= 0) {
            push_or_exit(cells, token);
            max_id = std::max(max_id, token);
        } else if (token == -1 || token == -2) {
            push_or_exit(cells, seq_end_mark);
            ++ends_read;
        }
    }
    if (cells.back() != seq_end_mark) push_or_exit(cells, seq_end_mark);
    return load_status::ok;
}

}  // namespace

load_status load_sequences(token_scanner& scanner, std::int32_t num_sequences,
                           std::int32_t abs_support, sequence_db& db) {
    db = sequence_db{};
    run_vector<std::int32_t>& cells = db.compact.items;
    std::int32_t max_id = -1;
    const load_status status = read_tokens(scanner, num_sequences, cells, max_id);
    if (status != load_status::ok) return status;

    run_vector<std::int32_t> ids;
    korvcore::renumberDensely(cells, max_id, ids);

    // Support of every rank, counting each sequence once by stamping the item with the number
    // of the sequence that last counted it.
    run_vector<std::int32_t> support;
    run_vector<std::int32_t> last_seq;
    resize_or_exit(support, ids.size(), std::int32_t{0});
    resize_or_exit(last_seq, ids.size(), std::int32_t{-1});
    std::int32_t seq_number = -1;
    for (const std::int32_t cell : cells) {
        if (cell < 0) {
            ++seq_number;
            continue;
        }
        if (last_seq[static_cast<std::size_t>(cell)] == seq_number) continue;
        last_seq[static_cast<std::size_t>(cell)] = seq_number;
        ++support[static_cast<std::size_t>(cell)];
    }

    // Renumber the frequent items densely; last_seq becomes the new rank, -1 when dropped.
    run_vector<std::int32_t>& new_rank = last_seq;
    for (std::size_t r = 0; r < ids.size(); ++r) {
        new_rank[r] = -1;
        if (support[r] < abs_support) continue;
        new_rank[r] = static_cast<std::int32_t>(db.item_ids.size());
        push_or_exit(db.item_ids, ids[r]);
        push_or_exit(db.item_support, support[r]);
    }

    // Drop the infrequent items in place and note where each sequence starts.
    std::size_t write = 0;
    std::int32_t length = 0;
    for (std::size_t read = 0; read < cells.size(); ++read) {
        const std::int32_t cell = cells[read];
        if (cell < 0) {
            db.longest_sequence = std::max(db.longest_sequence, length);
            length = 0;
            if (read + 1 < cells.size())
                push_or_exit(db.compact.sequenceMarks, static_cast<std::int32_t>(write));
            cells[write++] = seq_end_mark;
        } else if (new_rank[static_cast<std::size_t>(cell)] >= 0) {
            cells[write++] = new_rank[static_cast<std::size_t>(cell)];
            ++length;
        }
    }
    cells.resize(write);
    cells.shrink_to_fit();  // the search keeps the cells for the whole run; their growth slack goes
    db.compact.itemCount = static_cast<std::int32_t>(db.item_ids.size());
    korvcore::linkRepeatedItems(db.compact);
    return load_status::ok;
}

bool check_sequence_db(const sequence_db& db, std::int32_t abs_support) {
    const korvcore::CompactDatabase& compact = db.compact;
    if (!korvcore::checkCompactDatabase(compact) ||
        compact.itemCount != static_cast<std::int32_t>(db.item_ids.size()) ||
        db.item_support.size() != db.item_ids.size())
        return false;
    for (std::size_t r = 0; r < db.item_ids.size(); ++r) {
        if (db.item_ids[r] < 0 || (r > 0 && db.item_ids[r] <= db.item_ids[r - 1])) return false;
        if (db.item_support[r] < abs_support) return false;
    }
    run_vector<std::int32_t> counted(db.item_ids.size(), 0);
    run_vector<std::int32_t> last_seq(db.item_ids.size(), -1);
    std::int32_t sequence = -1;
    std::int32_t longest = 0;
    std::int32_t length = 0;
    for (const std::int32_t cell : compact.items) {
        if (cell < 0) {
            longest = std::max(longest, length);
            length = 0;
            ++sequence;
            continue;
        }
        ++length;
        const auto rank = static_cast<std::size_t>(cell);
        if (last_seq[rank] == sequence) continue;
        last_seq[rank] = sequence;
        ++counted[rank];
    }
    return longest == db.longest_sequence && counted == db.item_support;
}

}  // namespace korv
