// Where a program's run mines, chosen once its input is read: in this process (the plain
// programs pass no host), or with the other processes of an MPI job (mpi/).
#pragma once

#include <cstdint>
#include <span>

namespace korv {
struct MineOptions;
}

namespace korvcore {

class RunHost {
public:
    // `words` as read, minSupport as computed; false `loaded`: the input could not be read whole.
    // Sets the cluster, buffer limit and splitting of `options` for the search.
    virtual void inputRead(std::span<const int32_t> words, int32_t minSupport, bool loaded,
                           korv::MineOptions& options) = 0;
    // True once running out of memory is the host's to report (once the ranks of the MPI job
    // mine together: the message names the rank); the program then lets the failure through.
    virtual bool reportsMemoryFailure() const { return false; }

protected:
    ~RunHost() = default;
};

}  // namespace korvcore
