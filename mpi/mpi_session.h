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
#include <string>
#include <vector>

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
    void announceStart(int32_t value, const std::vector<int32_t>& words);
    bool announced() const { return announced_; }

    struct Start {
        bool go = false;
        int32_t value = 0;  // the status to exit with, or what announceStart passed
    };
    // The other ranks: waits for rank 0's announcement; `words` receives the input on a start.
    Start awaitStart(std::vector<int32_t>& words);

private:
    int32_t rank_ = 0;
    int32_t ranks_ = 1;
    bool announced_ = false;
};

// KORV_BUFFER_MB: megabytes of found patterns that may wait for their turn on rank 0 (default 64).
// KORV_MPI_STRESS=1, a test setting: work is handed over at every node and at most one byte waits.
struct ClusterSettings {
    std::size_t bufferLimitBytes = std::size_t(64) << 20;
    bool splitAtEveryNode = false;
    std::string error;  // not empty: a bad value, with its variable named
};
ClusterSettings readClusterSettings();

// Ends the whole job with `status` (MPI_Abort), when no transport runs.
[[noreturn]] void abortJob(int status);

// This rank's search threads from KORV_THREADS; a bad value on a rank other than 0 (rank 0 has
// already checked its own) ends the job with a message naming the rank.
int32_t followerThreads(const char* program, int32_t rank, int status);

}  // namespace korvmpi
