// korv-mpi and korvdump-mpi: korv and korvdump over the ranks of an MPI job, one source as for
// the plain programs (korvdump-mpi adds KORV_WRITE_PATTERNS). Rank 0 runs the plain program
// (spec file, data, "frequent.dat", report); the other ranks receive the data it read and mine
// with it (leader.h, follower.h).
#include <utility>

#include "follower.h"
#include "korv/korv.h"
#include "korv_run.h"
#include "leader.h"

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

}  // namespace

int main(int argc, char** argv) {
    korvmpi::MpiSession session(argc, argv, kProgram);
    if (session.rank() == 0)
        return korvmpi::lead(session, kProgram, kFailureStatus, "Error: ", [&](korvcore::RunHost& host) {
            return korv::korv_main(argc, argv, kWritePatterns, &host);
        });
    return korvmpi::follow<korv::ItemRuns>(session, kProgram, kFailureStatus,
                                         [](auto words) { return korv::Database::fromItemRuns(std::move(words)); });
}
