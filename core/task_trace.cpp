#include "task_trace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdlib>
#include <cstring>

namespace korvcore {

int64_t TaskTrace::nowNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TaskTrace::~TaskTrace() {
    if (file_ != nullptr) std::fclose(file_);
}

void TaskTrace::fail(const char* what) {
    if (error_.empty()) error_ = path_ + ": cannot " + what + ": " + std::strerror(errno);
}

bool TaskTrace::open(const std::string& path) {
    path_ = path;
    openedAt_ = nowNanos();
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
        fail("create");
        return false;
    }
    if (std::fputs("korv-trace 1\n", file_) < 0) fail("write");
    return true;
}

bool TaskTrace::openFromEnvironment() {
    const char* path = std::getenv(kTraceVariable);
    return path == nullptr || *path == '\0' || open(path);
}

void TaskTrace::nodeStarting(int32_t depth) {
    ++nodes_;
    int64_t at = nowNanos();
    while (!open_.empty() && open_.back().depth >= depth) closeNode(at);
    if (open_.empty()) {
        // A single item starts: every record so far is final but the last, which a next run of
        // single items may extend. The file's time goes to no node.
        if (records_.size() > kBufferedRecords) {
            writeRecords(records_.size() - 1);
            at = nowNanos();
        }
        if (firstNodeAt_ < 0) firstNodeAt_ = at;
    } else if (open_.back().firstChildAt < 0) {
        open_.back().firstChildAt = at;
    }
    open_.push_back({depth, records_.size(), at, -1, writeNanos_, writeBytes_});
    records_.push_back({depth, 0, 0, 0, 0, 0});
}

// Ends the deepest open node at `at`; a subtree too cheap to list its children (invariant 2)
// loses their records, which are all after its own.
void TaskTrace::closeNode(int64_t at) {
    const OpenNode node = open_.back();
    open_.pop_back();
    Record& record = records_[node.record];
    record.subtree = at - node.start;
    record.own = (node.firstChildAt < 0 ? at : node.firstChildAt) - node.start;
    record.write = writeNanos_ - node.writeAtStart;
    record.bytes = writeBytes_ - node.bytesAtStart;
    const int64_t splitNanos = std::max(kSplitNanos, (at - firstNodeAt_) / kSplitShare);
    if (record.subtree >= splitNanos) return;
    records_.resize(node.record + 1);
    record.count = 1;
    // The record just before, at the same depth, is the previous sibling's: one run with it when
    // that is indivisible too.
    if (node.record == 0) return;
    Record& previous = records_[node.record - 1];
    if (previous.depth != record.depth || previous.count == 0) return;
    previous.count += 1;
    previous.own += record.own;
    previous.subtree += record.subtree;
    previous.write += record.write;
    previous.bytes += record.bytes;
    records_.pop_back();
}

void TaskTrace::writeRecords(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const Record& r = records_[i];
        if (std::fprintf(file_, "%" PRId32 " %" PRId32 " %" PRId64 " %" PRId64 " %" PRId64 " %" PRId64 "\n", r.depth,
                         std::max(r.count, 1), r.own, r.subtree, r.write, r.bytes) < 0)
            fail("write");
    }
    records_.erase(records_.begin(), records_.begin() + std::ptrdiff_t(count));
}

void TaskTrace::searchEnded() {
    const int64_t at = nowNanos();
    while (!open_.empty()) closeNode(at);
    writeRecords(records_.size());
    if (firstNodeAt_ < 0) firstNodeAt_ = at;
    searchEndedAt_ = at;
}

bool TaskTrace::close() {
    if (file_ == nullptr) return error_.empty();
    if (searchEndedAt_ >= 0 &&
        std::fprintf(file_,
                     "root %" PRId64 "\nsearch %" PRId64 " %" PRId64 "\nwrite %" PRId64 " %" PRId64 " %" PRId64
                     "\nend %" PRId64 "\nsplit %" PRId64 " %" PRId64 "\n",
                     firstNodeAt_ - openedAt_, searchEndedAt_ - firstNodeAt_, nodes_, writeNanos_, writeBytes_,
                     patterns_, nowNanos() - searchEndedAt_, kSplitNanos, kSplitShare) < 0)
        fail("write");
    if (std::ferror(file_) != 0) fail("write");
    if (std::fclose(file_) != 0) fail("close");
    file_ = nullptr;
    return error_.empty();
}

}  // namespace korvcore
