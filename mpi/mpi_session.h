// What every MPI program shares: MPI for the length of a run, the start of a run that rank 0
// announces to the others, and the settings only the MPI programs read.
//
// A run starts on rank 0, which reads and checks the arguments and the input with the plain
// program's own code. It then announces either an exit status (nothing to mine: usage, a bad
// setting, a bad input) or a start with the input as int32 words; the other ranks wait for that
// announcement before anything else, so a failure is reported once, by rank 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mpi_transport.h"

namespace korvmpi {

// MPI_Init_thread with MPI_THREAD_SERIALIZED at least (the transport's communication thread
// makes the MPI calls while the run lasts); MPI_Finalize when destroyed.
class MpiSession {
public:
    MpiSession(int& argc, char**& argv, const char* program);
    ~MpiSession();
    MpiSession(const MpiSession&) = delete;
    MpiSession& operator=(const MpiSession&) = delete;

    int32_t rank() const { return rank_; }
    int32_t ranks() const { return ranks_; }

    // Rank 0.
    void announceExit(int status);
    void announceStart(int32_t value, std::span<const int32_t> words);
    bool announced() const { return announced_; }

    struct Start {
        bool go = false;
        int32_t value = 0;       // the status rank 0 exits with, or what announceStart passed
        std::size_t words = 0;   // on a start: how many words receiveWords() then takes
    };
    // The other ranks: waits for rank 0's announcement, then on a start takes its words.
    Start awaitStart();
    void receiveWords(int32_t* words, std::size_t count);

private:
    int32_t rank_ = 0;
    int32_t ranks_ = 1;
    bool announced_ = false;
};

// The transport of one run: rank 0 starts it as it announces the start, the other ranks once
// they have received it; finish() or abort() ends it.
class ClusterRun {
public:
    explicit ClusterRun(MpiSession& session) : session_(session) {}

    // Rank 0: announces the start with `value` and `words`, and serves its own KORV_THREADS
    // (already checked by the plain program's code).
    korvcore::ClusterLink& start(int32_t value, std::span<const int32_t> words);
    // The other ranks, with their threads.
    korvcore::ClusterLink& join(int32_t threads);
    void finish();
    // Ends the whole job with `status` (MPI_Abort); never returns.
    [[noreturn]] void abort(int status);
    // A failure on this rank: one line on standard error, "PROGRAM: rank R: WHAT", then the whole
    // job ends with status 1.
    [[noreturn]] void failHere(const char* program, const char* what);

private:
    MpiSession& session_;
    std::optional<MpiTransport> transport_;
};

// KORV_BUFFER_MB: megabytes of found patterns that may wait for their turn on rank 0 (default 64).
// KORV_MPI_STRESS=1, a test setting: work is handed over at every node and at most one byte waits.
struct ClusterSettings {
    std::size_t bufferLimitBytes = std::size_t(64) << 20;
    bool splitAtEveryNode = false;
    std::string error;  // not empty: a bad value, with its variable named
};
ClusterSettings readClusterSettings();

// This rank's search threads from KORV_THREADS; a bad value on a rank other than 0 (rank 0 has
// already checked its own) ends the job with a message naming the rank.
int32_t followerThreads(const char* program, int32_t rank, int status);

}  // namespace korvmpi
