// korvplus-mpi: korvplus over the ranks of an MPI job. Rank 0 runs the korvplus program itself
// (arguments, input, "ClosedPatterns.txt", report); the other ranks receive its input and mine
// with it (leader.h, follower.h).
#include <iostream>
#include <utility>
#include <vector>

#include "follower.h"
#include "korv/korv.h"
#include "leader.h"
#include "run_driver.h"

namespace {

constexpr const char* kProgram = "korvplus-mpi";

}  // namespace

int main(int argc, char** argv) {
    korvmpi::MpiSession session(argc, argv, kProgram);
    if (session.rank() == 0)
        return korvmpi::lead(session, kProgram, 1, "korvplus-mpi: ", [&](korvcore::RunHost& host) {
            return korvplus::runKorvplus(argc, argv, std::cout, std::cerr, &host);
        });
    return korvmpi::follow<std::vector<int32_t>>(session, kProgram, 1,
                                                   [](auto words) { return korv::Database::fromBinaryWords(std::move(words)); });
}
