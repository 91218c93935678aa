// A progress line for a long search, shown on a terminal and updated in place from a thread of
// its own.
//
// Invariants:
//   1. Nothing is ever written unless `fd` is a terminal when the display is created.
//   2. The line appears only once the run has lasted `delay`, and is redrawn at most once per
//      `interval`: "\r" + text + "\033[K" (erase to the end of the line).
//   3. stop() (or destruction) joins the thread and, if the line was shown, erases it with
//      "\r\033[K", so that whatever follows starts on a clean line.
// The figures come from the search's SearchProgress, read on the display thread; the search
// publishes them with relaxed atomic stores, so each is current on its own.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "search_progress.h"

namespace korvcore {

struct ProgressFigures {
    int64_t closedFound = 0;
    int32_t itemsDone = 0;
    int32_t itemsTotal = 0;
};

class TerminalProgress {
public:
    // `noun` names what is counted ("closed patterns", "closed sequences"); `progress` must
    // outlive the display.
    TerminalProgress(const SearchProgress& progress, std::string noun, int fd = STDERR_FILENO,
                     std::chrono::milliseconds delay = std::chrono::seconds(1),
                     std::chrono::milliseconds interval = std::chrono::milliseconds(250))
        : progress_(progress), noun_(std::move(noun)), fd_(fd), delay_(delay), interval_(interval) {
        if (::isatty(fd_) == 1) thread_ = std::thread([this] { show(); });
    }
    ~TerminalProgress() { stop(); }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void stop() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

    // The text of the line for the given figures and elapsed time.
    static std::string describe(const ProgressFigures& figures, double seconds, const std::string& noun) {
        char text[160];
        std::snprintf(text, sizeof text, "%.1f s  %lld %s  %d/%d frequent items done", seconds,
                      static_cast<long long>(figures.closedFound), noun.c_str(), figures.itemsDone,
                      figures.itemsTotal);
        return text;
    }

private:
    ProgressFigures snapshot() const {
        return {progress_.closedFound.load(std::memory_order_relaxed), progress_.itemsDone.load(std::memory_order_relaxed),
                progress_.itemsTotal.load(std::memory_order_relaxed)};
    }

    void show() {
        const auto start = std::chrono::steady_clock::now();
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, delay_, [this] { return stopping_; })) return;
        do {
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            std::string line = "\r";
            line += describe(snapshot(), elapsed.count(), noun_);
            line += "\033[K";
            writeAll(line);
        } while (!wake_.wait_for(lock, interval_, [this] { return stopping_; }));
        writeAll("\r\033[K");
    }

    // A failed write only loses the display; the run goes on.
    void writeAll(const std::string& text) const {
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t wrote = ::write(fd_, text.data() + done, text.size() - done);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) return;
            done += std::size_t(wrote);
        }
    }

    const SearchProgress& progress_;
    std::string noun_;
    int fd_;
    std::chrono::milliseconds delay_;
    std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace korvcore
