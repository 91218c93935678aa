#include "support_lines.h"

#include <cstdio>
#include <span>
#include <vector>

#include "korv/files.h"
#include "korv/support.h"
#include "pattern_lines.h"

namespace korvdb {

std::string writeSupports(const korv::Database& db, const std::string& resultPath, bool withSequences,
                          const std::string& outPath) {
    std::string result;
    if (std::string error = korv::readWholeFile(resultPath, result); !error.empty()) return error;
    korv::OutputFile file;
    if (!outPath.empty() && !file.open(outPath)) return file.error();
    std::string text;
    auto emit = [&](bool force) {
        if (!force && text.size() < (1 << 20)) return;
        if (!outPath.empty()) file.write(text);
        else std::fwrite(text.data(), 1, text.size(), stdout);
        text.clear();
    };

    korv::SupportCounter counter(db);
    std::vector<int32_t> pattern;
    std::string error = forEachLine(result, [&](std::string_view line, int64_t number) -> std::string {
        int64_t column = 0;
        if (std::string problem = parsePatternLine(line, pattern, column); !problem.empty())
            return korv::locate(resultPath, number, column, problem);
        const std::span<const int32_t> sequences = counter.supportingSequences(pattern);
        text.append(line);
        text.push_back('\t');
        text.append(std::to_string(sequences.size()));
        if (withSequences) {
            text.push_back('\t');
            for (std::size_t k = 0; k < sequences.size(); ++k) {
                if (k > 0) text.push_back(',');
                text.append(std::to_string(sequences[k]));
            }
        }
        text.push_back('\n');
        emit(false);
        return "";
    });
    if (!error.empty()) return error;
    emit(true);
    if (!outPath.empty()) return file.commit() ? "" : file.error();
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? "" : "standard output: cannot write";
}

}  // namespace korvdb
