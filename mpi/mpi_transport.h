// The cluster link of the MPI programs (core/cluster_link.h) over MPI_COMM_WORLD: rank 0 leads,
// every other rank follows with its own search threads.
//
// One communication thread per rank makes every MPI call between start() and finish() (the
// program's main thread makes the others, before and after), so MPI_THREAD_SERIALIZED suffices.
// It polls MPI between waits that grow while the link is quiet and end as soon as something is
// queued to send, instead of waiting inside MPI, which would spin a core. Invariants:
//   1. On the wire a message is MPI_INTs: its words, then its kind and the worker's number in
//      its rank (at the end, so that a message is sent and received without copying its words);
//      a signal is wanted, stop, kSignal. All go with one tag, so a pair of ranks keeps order.
//   2. Messages for a worker wait in its MessageQueue; nothing is dropped.
//   3. Rank 0 sends every follower the signal whenever it changes, before any later message to it.
//   4. abort() ends the whole job from the communication thread with the given status.
// Test hook: KORV_MPI_TEST_KILL=R:N has rank R (not 0) kill itself with SIGKILL when its N-th
// task arrives, so that tests can see a job lose a rank part way through; with R = 0, rank 0
// runs out of memory (std::bad_alloc) as it sends its N-th task.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "cluster_link.h"

namespace korvmpi {

class MpiTransport final : public korvcore::ClusterLink {
public:
    // Collective: every rank passes its own search threads.
    MpiTransport(int32_t rank, int32_t ranks, int32_t ownThreads);
    ~MpiTransport();

    bool leader() const override { return rank_ == 0; }
    int32_t workers() const override;
    int32_t processOf(int32_t worker) const override;
    void send(int32_t worker, korvcore::RemoteMessage kind, korvcore::CheckedVector<int32_t>&& words) override;
    korvcore::RemoteMessage receive(int32_t worker, korvcore::CheckedVector<int32_t>& words) override;
    bool tryReceive(int32_t worker, korvcore::RemoteMessage& kind, korvcore::CheckedVector<int32_t>& words) override;
    void watchSignal(std::function<korvcore::WorkSignal()> signal) override;
    korvcore::WorkSignal signal() const override;

    // Starts the communication thread.
    void start();
    // Sends what is queued and stops the communication thread (a follower once its threads were
    // released); the main thread may then call MPI again. Rank 0 first releases every follower
    // thread that no search has released, as when a run fails before its search starts.
    void finish();
    // Ends the job with `status`, through the communication thread when it runs. Never returns.
    [[noreturn]] void abort(int status);

private:
    struct Outgoing {
        int32_t rank;
        korvcore::CheckedVector<int32_t> words;
    };
    void communicate();
    void dispatch(int32_t source, korvcore::CheckedVector<int32_t>&& message);
    void queue(int32_t rank, korvcore::CheckedVector<int32_t>&& words);
    void wake();  // ends the communication thread's wait

    const int32_t rank_, ranks_;
    std::vector<int32_t> threads_;  // per rank
    std::vector<int32_t> firstWorker_;  // per rank: the leader's number of its thread 0
    std::vector<korvcore::MessageQueue> inboxes_;
    std::vector<char> released_;  // rank 0, per worker: `end` was sent

    std::mutex outMutex_;
    std::condition_variable outReady_;  // something is queued, or the thread is to end
    std::vector<Outgoing> outgoing_;

    mutable std::mutex signalMutex_;
    std::function<korvcore::WorkSignal()> watched_;
    korvcore::WorkSignal published_;
    std::atomic<bool> wanted_{false}, stop_{false};
    std::atomic<int32_t> waiting_{0};  // search threads blocked in receive()

    int64_t tasksUntilKill_ = -1;  // the test hook's count, -1 when it is not set for this rank
    std::atomic<int64_t> tasksUntilMemoryFailure_{-1};  // the same on rank 0, counted by its threads

    std::atomic<bool> finishing_{false};
    std::atomic<int> abortStatus_{-1};
    std::thread thread_;
};

}  // namespace korvmpi
