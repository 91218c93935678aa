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
#include "follower.h"
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

int lead(korvmpi::MpiSession& session, int argc, char** argv) {
    const korvmpi::ClusterSettings settings = korvmpi::readClusterSettings();
    if (!settings.error.empty()) {
        std::fprintf(stderr, "Error: %s\n", settings.error.c_str());
        session.announceExit(kFailureStatus);
        return kFailureStatus;
    }
    korvmpi::ClusterRun run(session);
    korvmpi::LeaderHost host(run, settings);
    int status = kFailureStatus;
    try {
        status = korv::korv_main(argc, argv, kWritePatterns, &host);
    } catch (const std::bad_alloc&) {
        run.failHere(kProgram, "out of memory");
    } catch (const std::exception& failure) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s: %s\n", kProgram, failure.what());
        run.abort(1);
    }
    if (!session.announced()) session.announceExit(status);
    run.finish();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    korvmpi::MpiSession session(argc, argv, kProgram);
    if (session.rank() == 0) return lead(session, argc, argv);
    return korvmpi::follow<korv::ItemRuns>(session, kProgram, kFailureStatus,
                                         [](auto words) { return korv::Database::fromItemRuns(std::move(words)); });
}
