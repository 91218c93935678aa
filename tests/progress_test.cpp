// The progress line: drawn in place and erased on a pseudo-terminal, never written to a pipe,
// and not at all when the run ends before the delay.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "terminal_progress.h"

namespace {

using namespace std::chrono_literals;
using korvcore::SearchProgress;
using korvcore::TerminalProgress;

std::string drain(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::string text;
    char block[4096];
    for (ssize_t got; (got = ::read(fd, block, sizeof block)) > 0;) text.append(block, std::size_t(got));
    return text;
}

std::string showFor(int fd, int readFd, std::chrono::milliseconds delay, std::chrono::milliseconds runTime) {
    {
        SearchProgress progress;
        progress.closedFound = 1234;
        progress.itemsDone = 5;
        progress.itemsTotal = 40;
        TerminalProgress display(progress, "closed patterns", fd, delay, 10ms);
        std::this_thread::sleep_for(runTime);
    }
    return drain(readFd);
}

TEST(TerminalProgress, OnATerminalOnlyAfterTheDelayAndErasedAtTheEnd) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const std::string shown = showFor(slave, master, 0ms, 100ms);
    EXPECT_EQ(shown.rfind("\r", 0), 0u) << shown;
    EXPECT_NE(shown.find(" s  1234 closed patterns  5/40 frequent items done\033[K"), std::string::npos) << shown;
    EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");
    EXPECT_EQ(showFor(slave, master, 10s, 30ms), "");
    ::close(master);
    ::close(slave);

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    EXPECT_EQ(showFor(pipeEnds[1], pipeEnds[0], 0ms, 50ms), "");
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    EXPECT_EQ(TerminalProgress::describe({7, 1, 2}, 2.31, "closed sequences"),
              "2.3 s  7 closed sequences  1/2 frequent items done");
}

}  // namespace
