// korvplus-mpi: korvplus over the ranks of an MPI job. Rank 0 runs the korvplus program itself
// (arguments, input, "ClosedPatterns.txt", report); the other ranks receive its input and mine
// with it (mpi_session.h, mpi_transport.h).
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <new>
#include <utility>
#include <vector>

#include "cluster_link.h"
#include "korv/korv.h"
#include "follower.h"
#include "mpi_session.h"
#include "run_driver.h"

namespace {

constexpr const char* kProgram = "korvplus-mpi";

int lead(korvmpi::MpiSession& session, int argc, char** argv) {
    const korvmpi::ClusterSettings settings = korvmpi::readClusterSettings();
    if (!settings.error.empty()) {
        std::cerr << kProgram << ": " << settings.error << '\n' << std::flush;
        session.announceExit(1);
        return 1;
    }
    korvmpi::ClusterRun run(session);
    korvmpi::LeaderHost host(run, settings);
    int status = 1;
    try {
        status = korvplus::runKorvplus(argc, argv, std::cout, std::cerr, &host);
    } catch (const std::bad_alloc&) {
        run.failHere(kProgram, "out of memory");
    } catch (const std::exception& failure) {
        std::cerr << kProgram << ": " << failure.what() << '\n' << std::flush;
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
    return korvmpi::follow<std::vector<int32_t>>(session, kProgram, 1,
                                                   [](auto words) { return korv::Database::fromBinaryWords(std::move(words)); });
}
