#include "support/run_program.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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
