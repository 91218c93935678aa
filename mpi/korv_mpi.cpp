// korv-mpi and korvdump-mpi: korv and korvdump over the ranks of an MPI job, one source as for
// the plain programs (korvdump-mpi adds KORV_WRITE_PATTERNS). Rank 0 runs the plain program
// (spec file, data, "frequent.dat", report); the other ranks receive the data it read and mine
// with it (mpi_session.h, mpi_transport.h).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <utility>
#include <vector>

#include "cluster_link.h"
#include "korv/korv.h"
#include "korv_run.h"
#include "mpi_session.h"

namespace {

#ifdef KORV_WRITE_PATTERNS
constexpr bool kWritePatterns = true;
constexpr const char* kProgram = "korvdump-mpi";
#else
constexpr bool kWritePatterns = false;
constexpr const char* kProgram = "korv-mpi";
#endif

// The plain programs' status for a fatal condition, -1, as the shell sees it.
constexpr int kFailureStatus = 255;

// Rank 0's placement of the search: with every rank once the data has been read.
class LeaderHost final : public korv::run_host {
public:
    LeaderHost(korvmpi::ClusterRun& run, const korvmpi::ClusterSettings& settings) : run_(run), settings_(settings) {}

    korv::search_placement data_loaded(std::span<const int32_t> runs, int32_t absSupport) override {
        return {.cluster = &run_.start(absSupport, runs),
                .output_limit_bytes = settings_.bufferLimitBytes,
                .always_split = settings_.splitAtEveryNode};
    }

private:
    korvmpi::ClusterRun& run_;
    const korvmpi::ClusterSettings& settings_;
};

int lead(korvmpi::MpiSession& session, int argc, char** argv) {
    const korvmpi::ClusterSettings settings = korvmpi::readClusterSettings();
    if (!settings.error.empty()) {
        std::fprintf(stderr, "Error: %s\n", settings.error.c_str());
        session.announceExit(kFailureStatus);
        return kFailureStatus;
    }
    korvmpi::ClusterRun run(session);
    LeaderHost host(run, settings);
    int status = kFailureStatus;
    try {
        status = korv::korv_main(argc, argv, kWritePatterns, &host);
    } catch (const std::exception& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\n", kProgram, failure.what());
        run.abort(1);
    }
    if (!session.announced()) session.announceExit(status);
    run.finish();
    return status;
}

int follow(korvmpi::MpiSession& session) {
    const korvmpi::MpiSession::Start start = session.awaitStart();
    // Rank 0 reports and gives the job's status (see korvplus_mpi.cpp).
    if (!start.go) return 0;
    korv::ItemRuns runs(start.words);
    session.receiveWords(runs.data(), runs.size());
    const int32_t threads = korvmpi::followerThreads(kProgram, session.rank(), kFailureStatus);
    korvmpi::ClusterRun run(session);
    korvcore::ClusterLink& link = run.join(threads);
    try {
        korv::Database database = korv::Database::fromItemRuns(std::move(runs));
        const korv::MineOptions options{.threshold = korv::Threshold::absolute(std::max(start.value, 1)),
                                        .threads = threads,
                                        .cluster = &link};
        korv::mine(std::move(database), options, nullptr);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: rank %d: out of memory\n", kProgram, int(session.rank()));
        run.abort(1);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: rank %d: %s\n", kProgram, int(session.rank()), failure.what());
        run.abort(1);
    }
    run.finish();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    korvmpi::MpiSession session(argc, argv, kProgram);
    return session.rank() == 0 ? lead(session, argc, argv) : follow(session);
}
