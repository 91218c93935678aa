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
#include "mpi_session.h"
#include "run_driver.h"

namespace {

constexpr const char* kProgram = "korvplus-mpi";

// Rank 0's placement of the search: with every rank once the input has been read whole.
class LeaderHost final : public korvplus::RunHost {
public:
    LeaderHost(korvmpi::ClusterRun& run, const korvmpi::ClusterSettings& settings) : run_(run), settings_(settings) {}

    korvplus::SearchPlacement inputRead(const std::vector<int32_t>& words, int32_t minSupport, bool loaded) override {
        korvplus::SearchPlacement placement{.bufferLimitBytes = settings_.bufferLimitBytes,
                                            .splitAtEveryNode = settings_.splitAtEveryNode};
        // The plain program mines what it could read of a bad input, and fails; so does rank 0,
        // alone; the others are told to end once it has.
        if (loaded) placement.cluster = &run_.start(minSupport, words);
        return placement;
    }

private:
    korvmpi::ClusterRun& run_;
    const korvmpi::ClusterSettings& settings_;
};

int lead(korvmpi::MpiSession& session, int argc, char** argv) {
    const korvmpi::ClusterSettings settings = korvmpi::readClusterSettings();
    if (!settings.error.empty()) {
        std::cerr << kProgram << ": " << settings.error << '\n' << std::flush;
        session.announceExit(1);
        return 1;
    }
    korvmpi::ClusterRun run(session);
    LeaderHost host(run, settings);
    int status = 1;
    try {
        status = korvplus::runKorvplus(argc, argv, std::cout, std::cerr, &host);
    } catch (const std::exception& failure) {
        std::cerr << kProgram << ": " << failure.what() << '\n' << std::flush;
        run.abort(1);
    }
    if (!session.announced()) session.announceExit(status);
    run.finish();
    return status;
}

int follow(korvmpi::MpiSession& session) {
    const korvmpi::MpiSession::Start start = session.awaitStart();
    // Rank 0 reports and gives the job's status; a rank that ends first with a failure status
    // would have mpirun end rank 0's run before it has finished.
    if (!start.go) return 0;
    std::vector<int32_t> words(start.words);
    session.receiveWords(words.data(), words.size());
    const int32_t threads = korvmpi::followerThreads(kProgram, session.rank(), 1);
    korvmpi::ClusterRun run(session);
    korvcore::ClusterLink& link = run.join(threads);
    try {
        korv::Database database = korv::Database::fromBinaryWords(std::move(words));
        const korv::MineOptions options{.threshold = korv::Threshold::absolute(std::max(start.value, 1)),
                                        .threads = threads,
                                        .cluster = &link};
        korv::mine(std::move(database), options, nullptr);
    } catch (const std::bad_alloc&) {
        std::cerr << kProgram << ": rank " << session.rank() << ": out of memory\n" << std::flush;
        run.abort(1);
    } catch (const std::exception& failure) {
        std::cerr << kProgram << ": rank " << session.rank() << ": " << failure.what() << '\n' << std::flush;
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
