// The run frame of korv and korvdump: arguments, spec file, loading, mining, "frequent.dat" and
// the report.
#pragma once

#include <cstddef>
#include <cstdint>

#include <span>

namespace korvcore {
class ClusterLink;
}

namespace korv {

// Where a run mines once its data is loaded: in this process (korv, korvdump), or with other
// processes too (the MPI programs, mpi/).
struct search_placement {
    korvcore::ClusterLink* cluster = nullptr;
    std::size_t output_limit_bytes = std::size_t{64} << 20;
    bool always_split = false;  // a test setting: hand work over at every node
};
class run_host {
public:
    // `runs` as read (data_file.h), before korv::Database::fromItemRuns takes them.
    virtual search_placement data_loaded(std::span<const std::int32_t> runs, std::int32_t abs_support) = 0;
    // True once running out of memory is the host's to report (the MPI programs, once their
    // ranks mine together: the message names the rank); korv_main then lets it through.
    virtual bool reports_memory_failure() const { return false; }

protected:
    ~run_host() = default;
};

// Runs one program invocation: argv[1] is the spec file, argv[2] the relative support. Prints
// the report, or the message of a fatal condition, on standard output, and returns the exit
// status: 0 after the report, -1 on any fatal condition. With `write_patterns` (korvdump) every
// closed sequence is written to "frequent.dat"; otherwise that file is only created empty.
// `host` (may be null) places the search.
int korv_main(int argc, char** argv, bool write_patterns, run_host* host = nullptr);

}  // namespace korv
