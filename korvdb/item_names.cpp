#include "item_names.h"

#include "korv/files.h"
#include "pattern_lines.h"

namespace korvdb {

std::string itemsPathFor(const std::string& binPath) {
    std::string base = binPath;
    if (base.ends_with(".bin")) base.resize(base.size() - 4);
    return base + ".items.tsv";
}

std::string saveItemNames(const std::string& path, const std::vector<std::string>& names) {
    korv::OutputFile out;
    if (!out.open(path)) return out.error();
    for (std::size_t id = 0; id < names.size(); ++id) {
        out.writeNumber(int64_t(id));
        out.put('\t');
        out.write(names[id]);
        out.put('\n');
    }
    return out.commit() ? "" : out.error();
}

std::string readItemNames(std::string_view text, const std::string& file, std::vector<std::string>& names) {
    names.clear();
    return forEachLine(text, [&](std::string_view line, int64_t number) -> std::string {
        const std::size_t tab = line.find('\t');
        int32_t id = 0;
        if (tab == std::string_view::npos || !parseInt32(line.substr(0, tab), id))
            return korv::locate(file, number, 1, "expected 'id<TAB>name'");
        if (std::size_t(id) != names.size())
            return korv::locate(file, number, 1,
                                "ids must be 0, 1, 2, ... in order; expected " + std::to_string(names.size()));
        names.emplace_back(line.substr(tab + 1));
        return "";
    });
}

}  // namespace korvdb
