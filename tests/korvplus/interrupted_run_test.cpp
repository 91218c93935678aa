// A korvplus run killed in the middle: every line is flushed as it is found, so
// "ClosedPatterns.txt" holds whole lines, and they are the first lines of the complete run's file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "support/database.h"
#include "support/run_program.h"

namespace {

// Starts korvplus in `dir` with its output thrown away; returns its process id.
pid_t startKorvplus(const std::string& dir, const char* support) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        if (freopen("/dev/null", "w", stdout) == nullptr || freopen("/dev/null", "w", stderr) == nullptr) _exit(127);
        execl(KORVPLUS_PATH, KORVPLUS_PATH, support, "db.bin", static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

TEST(KorvplusProgram, KilledRunLeavesWholeLinesOfTheCompleteRun) {
    // A few seconds of search in an optimized build; the file grows to a few megabytes.
    std::mt19937 random(2026);
    const testsupport::DatabaseShape shape{.minAlphabet = 40, .maxAlphabet = 40, .minSequences = 400,
                                           .maxSequences = 400, .maxEvents = 30, .maxItemsPerEvent = 3};
    testsupport::ScratchDir dir;
    dir.writeFile("db.bin", testsupport::littleEndianBytes(testsupport::toWords(testsupport::randomDatabase(random, shape))));
    const char* const support = "0.02";

    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(testsupport::runProgram(KORVPLUS_PATH, {support, "db.bin"}, dir.path()).exitStatus, 0);
    const auto complete = std::chrono::steady_clock::now() - started;
    const std::string full = dir.readFile("ClosedPatterns.txt");
    ASSERT_FALSE(full.empty());

    // Killed at a fraction of the complete run's time; a busy machine may shift where the kill
    // lands, so a few fractions are tried until one lands inside the search.
    bool cutInside = false;
    for (const double fraction : {0.5, 0.3, 0.7, 0.15}) {
        ASSERT_EQ(std::remove(dir.file("ClosedPatterns.txt").c_str()), 0);
        const pid_t pid = startKorvplus(dir.path(), support);
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::microseconds>(complete * fraction));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);

        const std::string partial = dir.exists("ClosedPatterns.txt") ? dir.readFile("ClosedPatterns.txt") : "";
        ASSERT_TRUE(partial.empty() || partial.back() == '\n') << "a line cut short";
        ASSERT_EQ(full.compare(0, partial.size(), partial), 0) << "not the start of the complete file";
        if (WIFSIGNALED(status) && !partial.empty() && partial.size() < full.size()) {
            cutInside = true;
            break;
        }
    }
    EXPECT_TRUE(cutInside) << "no kill landed while patterns were being written";
}

}  // namespace
