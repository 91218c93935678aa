// korvplus-mpi: korvplus over the ranks of an MPI job. Rank 0 runs the korvplus program itself
// (arguments, input, "ClosedPatterns.txt", report); the other ranks receive its input and mine
// with it (mpi_session.h, mpi_transport.h).
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "cluster_link.h"
#include "korv/korv.h"
#include "mpi_session.h"
#include "mpi_transport.h"
#include "run_driver.h"
#include "thread_setting.h"

namespace {

constexpr const char* kProgram = "korvplus-mpi";

// Rank 0's placement of the search: with every rank once the input has been read whole.
class LeaderHost final : public korvplus::RunHost {
public:
    LeaderHost(korvmpi::MpiSession& session, const korvmpi::ClusterSettings& settings)
        : session_(session), settings_(settings) {}

    korvplus::SearchPlacement inputRead(const std::vector<int32_t>& words, int32_t minSupport, bool loaded) override {
        korvplus::SearchPlacement placement{.bufferLimitBytes = settings_.bufferLimitBytes,
                                            .splitAtEveryNode = settings_.splitAtEveryNode};
        if (!loaded) {
            // The plain program mines what it could read and fails; so does rank 0, alone.
            session_.announceExit(1);
            return placement;
        }
        session_.announceStart(minSupport, words);
        const korvcore::ThreadSetting threads = korvcore::parseThreadSetting(std::getenv(korvcore::kThreadsVariable));
        transport_.emplace(session_.rank(), session_.ranks(), threads.threads);
        transport_->start();
        placement.cluster = &*transport_;
        return placement;
    }

    void finish() {
        if (transport_) transport_->finish();
    }
    [[noreturn]] void abort(int status) {
        if (transport_) transport_->abort(status);
        korvmpi::abortJob(status);
    }

private:
    korvmpi::MpiSession& session_;
    const korvmpi::ClusterSettings& settings_;
    std::optional<korvmpi::MpiTransport> transport_;
};

int lead(korvmpi::MpiSession& session, int argc, char** argv) {
    const korvmpi::ClusterSettings settings = korvmpi::readClusterSettings();
    if (!settings.error.empty()) {
        std::cerr << kProgram << ": " << settings.error << '\n' << std::flush;
        session.announceExit(1);
        return 1;
    }
    LeaderHost host(session, settings);
    int status = 1;
    try {
        status = korvplus::runKorvplus(argc, argv, std::cout, std::cerr, &host);
    } catch (const std::exception& failure) {
        std::cerr << kProgram << ": " << failure.what() << '\n' << std::flush;
        host.abort(1);
    }
    if (!session.announced()) session.announceExit(status);
    host.finish();
    return status;
}

int follow(korvmpi::MpiSession& session) {
    std::vector<int32_t> words;
    const korvmpi::MpiSession::Start start = session.awaitStart(words);
    if (!start.go) return start.value;
    const int32_t threads = korvmpi::followerThreads(kProgram, session.rank(), 1);
    korvmpi::MpiTransport transport(session.rank(), session.ranks(), threads);
    transport.start();
    try {
        korv::Database database = korv::Database::fromBinaryWords(std::move(words));
        const korv::MineOptions options{.threshold = korv::Threshold::absolute(std::max(start.value, 1)),
                                        .threads = threads,
                                        .cluster = &transport};
        korv::mine(std::move(database), options, nullptr);
    } catch (const std::bad_alloc&) {
        std::cerr << kProgram << ": rank " << session.rank() << ": out of memory\n" << std::flush;
        transport.abort(1);
    } catch (const std::exception& failure) {
        std::cerr << kProgram << ": rank " << session.rank() << ": " << failure.what() << '\n' << std::flush;
        transport.abort(1);
    }
    transport.finish();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    korvmpi::MpiSession session(argc, argv, kProgram);
    return session.rank() == 0 ? lead(session, argc, argv) : follow(session);
}
