// The part every MPI program plays on rank 0: the plain program itself, with its search placed on
// every rank once the input has been read. What differs between the programs is only how the
// plain program is run and how it words a bad setting.
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <new>
#include <span>

#include "korv/mining.h"
#include "mpi_session.h"
#include "run_host.h"

namespace korvmpi {

// Rank 0's place for the search, given to the plain program's driver: with every rank once the
// input has been read whole. The plain program mines what it could read of a bad input, and
// fails; so does rank 0, alone, and the others are told to end once it has.
class LeaderHost final : public korvcore::RunHost {
public:
    LeaderHost(ClusterRun& run, const ClusterSettings& settings) : run_(run), settings_(settings) {}
    void inputRead(std::span<const int32_t> words, int32_t minSupport, bool loaded,
                   korv::MineOptions& options) override {
        options.bufferLimitBytes = settings_.bufferLimitBytes;
        options.splitAtEveryNode = settings_.splitAtEveryNode;
        if (loaded) options.cluster = &run_.start(minSupport, words);
        started_ = loaded;
    }
    bool reportsMemoryFailure() const override { return started_; }

private:
    ClusterRun& run_;
    const ClusterSettings& settings_;
    bool started_ = false;
};

// runProgram(host) runs the plain program with `host` and returns its status; failureStatus is
// the plain program's status for a fatal condition, and a bad cluster setting is written to
// standard error after settingErrorPrefix, as the plain program writes its own. Returns the
// job's status. Out of memory once the ranks mine together ends the job naming rank 0.
template <class RunProgram>
int lead(MpiSession& session, const char* program, int failureStatus, const char* settingErrorPrefix,
         RunProgram runProgram) {
    const ClusterSettings settings = readClusterSettings();
    if (!settings.error.empty()) {
        std::fprintf(stderr, "%s%s\n", settingErrorPrefix, settings.error.c_str());
        session.announceExit(failureStatus);
        return failureStatus;
    }
    ClusterRun run(session);
    LeaderHost host(run, settings);
    int status = failureStatus;
    try {
        status = runProgram(host);
    } catch (const std::bad_alloc&) {
        run.failHere(program, "out of memory");
    } catch (const std::exception& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\n", program, failure.what());
        run.abort(1);
    }
    if (!session.announced()) session.announceExit(status);
    run.finish();
    return status;
}

}  // namespace korvmpi
