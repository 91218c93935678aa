#include "support/run_program.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace testsupport {

namespace {

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

bool allDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "KORV Time:" then a number of seconds as korvplus prints it (%g with no exponent), or
// "Runtime: " then seconds with three decimals (negative when the clock stepped back), " sec.".
std::string maskedTimeLine(std::string_view line) {
    if (line.starts_with("KORV Time:")) {
        const std::string_view figure = line.substr(10);
        if (!figure.empty() && figure.front() != '.' && figure.find_first_not_of("0123456789.") == std::string_view::npos)
            return "KORV Time:#";
    }
    if (line.starts_with("Runtime: ") && line.ends_with(" sec.")) {
        std::string_view figure = line.substr(9, line.size() - 14);
        if (figure.starts_with('-')) figure.remove_prefix(1);
        const auto point = figure.find('.');
        if (point != std::string_view::npos && allDigits(figure.substr(0, point)) && figure.size() - point == 4 &&
            allDigits(figure.substr(point + 1)))
            return "Runtime: #.### sec.";
    }
    return std::string(line);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

}  // namespace

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korv-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::writeFile(const std::string& name, const std::string& bytes) const {
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + file(name));
}

bool ScratchDir::exists(const std::string& name) const {
    return std::filesystem::exists(file(name));
}

std::string ScratchDir::readFile(const std::string& name) const { return slurp(file(name)); }

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& dir) {
    const std::string outPath = dir + "/.stdout.capture";
    const std::string errPath = dir + "/.stderr.capture";
    // Built by appending only: GCC 12 warns falsely (-Wrestrict) on chained string additions.
    std::string command = "cd ";
    command += shellQuote(dir);
    command += " && ";
    command += shellQuote(program);
    for (const std::string& arg : args) {
        command += ' ';
        command += shellQuote(arg);
    }
    command += " </dev/null >";
    command += shellQuote(outPath);
    command += " 2>";
    command += shellQuote(errPath);

    ProgramResult result;
    const int status = std::system(command.c_str());
    if (status != -1 && WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return result;
}

std::string maskTime(const std::string& out) {
    std::string masked;
    std::string::size_type start = 0;
    while (start < out.size()) {
        const auto end = std::min(out.find('\n', start), out.size());
        masked += maskedTimeLine(std::string_view(out).substr(start, end - start));
        if (end < out.size()) masked += '\n';
        start = end + 1;
    }
    return masked;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace testsupport
