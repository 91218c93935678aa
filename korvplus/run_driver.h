// The korvplus run: command line, loading, the console report and the exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace korvcore {
class ClusterLink;
}

namespace korvplus {

// Where a run mines, chosen once its input is read: in this process (the plain program, and
// whenever `loaded` is false), or with other processes too (the MPI program, mpi/).
struct SearchPlacement {
    korvcore::ClusterLink* cluster = nullptr;
    std::size_t bufferLimitBytes = std::size_t(64) << 20;
    bool splitAtEveryNode = false;  // a test setting: hand work over at every node
};
class RunHost {
public:
    // `words` as read, minSupport as computed; false `loaded`: the input could not be read whole.
    virtual SearchPlacement inputRead(const std::vector<int32_t>& words, int32_t minSupport, bool loaded) = 0;
    // True once running out of memory is the host's to report (the MPI program, once its ranks
    // mine together: the message names the rank); runKorvplus then lets std::bad_alloc through.
    virtual bool reportsMemoryFailure() const { return false; }

protected:
    ~RunHost() = default;
};

// Runs korvplus with the program's arguments (argv[0] is the program name) and returns the exit
// status: 0 on success and on the usage text; 1 when the input could not be read, the pattern
// file could not be written, the console could not be written or memory ran out. `host` (may be
// null) places the search.
int runKorvplus(int argc, const char* const* argv, std::ostream& out, std::ostream& err, RunHost* host = nullptr);

// `value` as printf's %g with `precision` significant digits.
std::string formatGeneral(double value, int precision);


// The lines after the search: total, time in seconds (5 significant digits) and the histogram
// of closed patterns by number of items, non-empty lengths only.
void printClosingReport(std::ostream& out, int64_t closedCount, int32_t elapsedMilliseconds,
                        const std::vector<int64_t>& lengthHistogram);

}  // namespace korvplus
