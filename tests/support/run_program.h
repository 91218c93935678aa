// Helpers for end-to-end tests: a scratch directory per test and a way to run one of the
// built programs inside it, capturing what it prints and how it ends.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// A fresh directory under the system temp dir, removed with its content on destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    void writeFile(const std::string& name, const std::string& bytes) const;
    bool exists(const std::string& name) const;
    std::string readFile(const std::string& name) const;

private:
    std::string path_;
};

struct ProgramResult {
    int exitStatus = -1;  // 0..255 as the shell sees it; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args` in `dir` (stdin from /dev/null).
ProgramResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& dir);

// Splits text into lines; a final line without newline is kept, the empty tail is not.
std::vector<std::string> splitLines(const std::string& text);

// A program's console output with the one figure that varies from run to run masked: korvplus's
// "KORV Time:<seconds>" line becomes "KORV Time:#" and korv's "Runtime: <seconds> sec." line
// "Runtime: #.### sec.". A figure not in its printed form is left as it is, so that a
// comparison with the expected output fails.
std::string maskTime(const std::string& out);

}  // namespace testsupport
