// How the scheduler reaches search threads in other processes: a transport of int32 messages,
// which the MPI programs implement (mpi/mpi_transport.h); the search itself never sees one.
//
// One process leads: it runs the ParallelSearch of the run, commits every pattern and writes the
// output. Each search thread of another process (a follower) is one more worker of that scheduler,
// served by a proxy in the leader (cluster_search.h). Invariants of a transport:
//   1. Workers are numbered: in the leader 0 .. workers() - 1 over every follower's threads; in a
//      follower 0 .. workers() - 1 over its own threads. A message goes from a proxy to its
//      thread or back, and arrives whole, in the order the sender sent it.
//   2. receive() waits without spinning; tryReceive() never waits.
//   3. The leader's work signal (wanted, stop) reaches every follower soon after it changes, and
//      stop never clears once set; followers read it without a message per node.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <stdexcept>
#include <mutex>
#include <string>
#include <utility>

#include "checked_vector.h"

namespace korvcore {

enum class RemoteMessage : int32_t {
    task = 1,   // leader -> thread: a task to mine (the task's codec words)
    patterns,   // thread -> leader: items done, then per pattern its size, depth, support, values
    credit,     // leader -> thread: a patterns message was taken, another may be sent
    share,      // thread -> leader: a task split off the running one (codec words)
    shared,     // leader -> thread: that task is in the scheduler's list
    done,       // thread -> leader: the task ended; one word, 1 complete, 0 stopped
    failure,    // thread -> leader: the task failed; the words are the message's characters
    end,        // leader -> thread: the run is over
    countTask,  // leader -> thread: a task of a counting run, whose patterns only count (codec words)
    counts,     // thread -> leader, for a countTask: items done, then patterns found per depth
};

// What the leader's scheduler tells idle-minded followers: hand work over, or stop.
struct WorkSignal {
    bool wanted = false;
    bool stop = false;
    friend bool operator==(const WorkSignal&, const WorkSignal&) = default;
};

class ClusterLink {
public:
    virtual bool leader() const = 0;
    virtual int32_t workers() const = 0;
    // The process a leader's worker runs in, for messages (its rank).
    virtual int32_t processOf(int32_t worker) const = 0;
    virtual void send(int32_t worker, RemoteMessage kind, CheckedVector<int32_t>&& words) = 0;
    virtual RemoteMessage receive(int32_t worker, CheckedVector<int32_t>& words) = 0;
    virtual bool tryReceive(int32_t worker, RemoteMessage& kind, CheckedVector<int32_t>& words) = 0;
    // Leader: the transport polls `signal` and passes its answers on; an empty function stops it.
    virtual void watchSignal(std::function<WorkSignal()> signal) = 0;
    // Follower: the latest signal.
    virtual WorkSignal signal() const = 0;

protected:
    ~ClusterLink() = default;
};

// The messages waiting for one worker, in arrival order: what transports hand receive() from.
class MessageQueue {
public:
    void push(RemoteMessage kind, CheckedVector<int32_t>&& words) {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.emplace_back(kind, std::move(words));
        ready_.notify_one();
    }
    // The first message; with `wait` it waits for one, else it answers false when there is none.
    bool pop(RemoteMessage& kind, CheckedVector<int32_t>& words, bool wait) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wait) ready_.wait(lock, [this] { return !messages_.empty(); });
        if (messages_.empty()) return false;
        kind = messages_.front().first;
        words = std::move(messages_.front().second);
        messages_.pop_front();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::pair<RemoteMessage, CheckedVector<int32_t>>> messages_;
};

// A follower's search thread failed; what() names its process.
class RemoteFailure : public std::runtime_error {
public:
    RemoteFailure(int32_t process, const std::string& message)
        : std::runtime_error("rank " + std::to_string(process) + ": " + message), process_(process) {}
    int32_t process() const { return process_; }

private:
    int32_t process_;
};

}  // namespace korvcore
