// The part every MPI program plays on the ranks other than 0: wait for rank 0's start, take the
// input words, and mine them as part of rank 0's run. What differs between the programs is only
// the form of the words and how they become a database.
#pragma once

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

#include "cluster_link.h"
#include "korv/korv.h"
#include "mpi_session.h"

namespace korvmpi {

// `Words` holds the input as rank 0 announced it; makeDatabase(std::move(words)) builds the
// database the plain program would mine. Returns 0 whatever happens here: rank 0 reports and
// gives the job's status, and a rank that ended first with a failure status would have mpirun end
// rank 0's run before it has finished. A failure here ends the whole job, naming the rank.
template <class Words, class MakeDatabase>
int follow(MpiSession& session, const char* program, int failureStatus, MakeDatabase makeDatabase) {
    const MpiSession::Start start = session.awaitStart();
    if (!start.go) return 0;
    Words words(start.words);
    session.receiveWords(words.data(), words.size());
    const int32_t threads = followerThreads(program, session.rank(), failureStatus);
    ClusterRun run(session);
    korvcore::ClusterLink& link = run.join(threads);
    try {
        const korv::MineOptions options{.threshold = korv::Threshold::absolute(std::max(start.value, 1)),
                                        .threads = threads,
                                        .cluster = &link};
        korv::mine(makeDatabase(std::move(words)), options, nullptr);
    } catch (const std::bad_alloc&) {
        run.failHere(program, "out of memory");
    } catch (const std::exception& failure) {
        run.failHere(program, failure.what());
    }
    run.finish();
    return 0;
}

}  // namespace korvmpi
