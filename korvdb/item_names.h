// The dictionary `korvdb import` writes beside a database and `korvdb names` reads: one
// "id<TAB>name" line per item, ids 0, 1, 2, ... in order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvdb {

// "OUT.items.tsv" for "OUT.bin" (or for OUT without that extension).
std::string itemsPathFor(const std::string& binPath);

// Writes the dictionary of `names` (indexed by id) to `path`. Empty on success.
std::string saveItemNames(const std::string& path, const std::vector<std::string>& names);

// Reads a dictionary; `file` names it in messages. Empty on success.
std::string readItemNames(std::string_view text, const std::string& file, std::vector<std::string>& names);

}  // namespace korvdb
