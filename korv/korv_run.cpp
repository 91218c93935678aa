#include "korv_run.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "data_file.h"
#include "fatal_error.h"
#include "korv/korv.h"
#include "run_vector.h"
#include "spec_file.h"
#include "task_trace.h"
#include "terminal_progress.h"
#include "thread_setting.h"
#include "token_scanner.h"

namespace korv {

namespace {

const char pattern_path[] = "frequent.dat";

std::string format(const char* pattern, auto... values) {
    const int size = std::snprintf(nullptr, 0, pattern, values...);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, values...);
    return text;
}

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// The wall clock in whole milliseconds, the resolution of the report's run time.
std::int64_t wall_clock_millis() {
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count();
}

// Writes each closed sequence as one line: "%i " per item, then ": %i\n" with the support.
class pattern_file_writer {
public:
    explicit pattern_file_writer(std::FILE* file) : file_(file) { resize_or_exit(line_, 64); }

    // `pattern` holds each item followed by -1 (one-item events).
    bool write_closed(std::span<const std::int32_t> pattern, std::int32_t support) {
        // 11 characters hold any int32, one more the blank; the tail adds ": ", support, "\n".
        const std::size_t needed = (pattern.size() + 2) * 12 + 4;
        if (needed > line_.size()) resize_or_exit(line_, 2 * needed);
        char* out = line_.data();
        char* const end = out + line_.size();
        for (const std::int32_t item : pattern) {
            if (item < 0) continue;
            out = std::to_chars(out, end, item).ptr;
            *out++ = ' ';
        }
        *out++ = ':';
        *out++ = ' ';
        out = std::to_chars(out, end, support).ptr;
        *out++ = '\n';
        const auto length = static_cast<std::size_t>(out - line_.data());
        return std::fwrite(line_.data(), 1, length, file_) == length;
    }

private:
    std::FILE* file_;
    run_vector<char> line_;
};

struct run_figures {
    run_spec spec;
    double rel_support = 0.0;
    std::int32_t abs_support = 1;
    int threads = 1;
};

void print_report(const run_figures& run, const std::vector<std::int64_t>& length_histogram,
                  double run_seconds) {
    std::string report =
        "KORV: An efficient algorithm for mining frequent closed sequences.\n"
        "korv toolkit: frequent closed sequential patterns over sequences of single items.\n"
        "Depth-first prefix growth with forward, backward and pruning checks.\n"
        "Reads a spec file and its sequence data; reports closed sequences by length.\n"
        "\n"
        "Parameters are as follows:\n"
        "----------------------------------------------------------\n";
    report += "Transaction database:\t\t" + std::string(run.spec.data_path.c_str()) + "\n";
    report += format("Number of unique items in Database:\t   \t\t\t\t%i\n", run.spec.num_items);
    report += format("Maximal length of a length:\t\t%i\n", run.spec.max_length);
    report += format("Number of transactions in Database:\t\t\t\t%i\n", run.spec.num_sequences);
    report += format("Relative support threshold:\t\t\t%.3f\n", run.rel_support);
    report += format("Absolute support threshold:\t\t\t%i\n", run.abs_support);
    report += "F.C.S Length\tNumber of F.C.S\n";
    long long total = 0;
    for (std::size_t k = 1; k < length_histogram.size(); ++k) {
        if (length_histogram[k] == 0) continue;
        report += format("%zu\t\t\t%lld\n", k, static_cast<long long>(length_histogram[k]));
        total += length_histogram[k];
    }
    report += format("Total: %lld\n", total);
    report += format("Runtime: %.3f sec.\n", run_seconds);
    std::fputs(report.c_str(), stdout);
}

// Reads the data file named by the spec and mines it; every closed sequence goes to
// `pattern_file` when there is one, and the search's costs to `trace` when it is open. Returns
// the histogram of closed sequences by length.
korv::MineSummary load_and_mine(const run_figures& figures, std::FILE* pattern_file, korvcore::RunHost* host,
                                korvcore::TaskTrace& trace) {
    const std::string& data_path = figures.spec.data_path;
    data_file_contents contents;
    {
        const file_handle data_file(open_or_exit(data_path, "r"));
        token_scanner scanner(data_file.get());
        const load_status status = load_sequences(scanner, figures.spec.num_sequences, contents);
        if (status == load_status::read_error) throw fatal_error(open_error(data_path, "r"));
        if (status == load_status::invalid_token)
            throw fatal_error(format("Error: invalid token in file %s!\n", data_path.c_str()));
    }
    korv::Progress progress;
    korv::MineOptions options{.threshold = korv::Threshold::absolute(std::max(figures.abs_support, 1)),
                              .threads = figures.threads,
                              .progress = &progress,
                              .trace = trace.isOpen() ? &trace : nullptr};
    if (host) host->inputRead(contents.runs, figures.abs_support, true, options);
    korv::Database db = korv::Database::fromItemRuns(std::move(contents.runs));
    // A progress line while the search runs, on a terminal only; erased before the report.
    const korvcore::TerminalProgress display(progress, "closed sequences");
    if (pattern_file == nullptr) return korv::mine(std::move(db), options, nullptr);
    pattern_file_writer writer(pattern_file);
    return korv::mine(std::move(db), options, [&writer](const korv::Pattern& pattern) {
        return writer.write_closed(pattern.flat, pattern.support);
    });
}

// One run: arguments, spec file, "frequent.dat" created, data loaded and mined, "frequent.dat"
// closed, report. A usage or spec file error leaves "frequent.dat" untouched; any later error
// leaves it as far as it was written.
int run(int argc, char** argv, bool write_patterns, korvcore::RunHost* host) {
    if (argc < 3) {
        std::fputs("Usage: Please give two arguments.\n"
                   "       The first argument is the name of the .spec file.\n"
                   "       The second argument is the relative support threshold.\n"
                   "Details please refer to the attached document.\n",
                   stdout);
        return -1;
    }
    run_figures figures;
    const char* threads_value = std::getenv(korvcore::kThreadsVariable);
    const korvcore::ThreadSetting threads = korvcore::parseThreadSetting(threads_value);
    if (!threads.valid) {
        std::fprintf(stderr, "Error: %s=%s is not an integer from 1 to %d\n", korvcore::kThreadsVariable,
                     threads_value, korvcore::kMaxThreads);
        return -1;
    }
    figures.threads = threads.threads;
    // The trace (task_trace.h) starts its clock before anything is read, and a path that cannot
    // be created stops the run with nothing read.
    korvcore::TaskTrace trace;
    if (!trace.openFromEnvironment()) throw fatal_error(open_error(trace.path(), "w"));
    const std::string spec_path = argv[1];
    figures.rel_support = std::strtod(argv[2], nullptr);
    {
        const file_handle spec_file(open_or_exit(spec_path, "r"));
        token_scanner scanner(spec_file.get());
        if (!read_spec(scanner, figures.spec)) throw fatal_error(open_error(spec_path, "r"));
    }
    // Sequences needed: num_sequences * rel_support + 0.5, truncated, never below 1.
    figures.abs_support = std::max(
        korv::absoluteSupport(figures.spec.num_sequences, figures.rel_support, korv::Rounding::roundedHalfUp), 1);

    // The run time covers everything from creating "frequent.dat" to closing it.
    const std::int64_t start = wall_clock_millis();
    file_handle pattern_file(open_or_exit(pattern_path, "w+"));

    const korv::MineSummary result =
        load_and_mine(figures, write_patterns ? pattern_file.get() : nullptr, host, trace);
    const bool write_failed = result.stopped || std::ferror(pattern_file.get()) != 0;
    if (std::fclose(pattern_file.release()) != 0 || write_failed)
        throw fatal_error(format("Error: cannot write file %s!\n", pattern_path));
    const std::int64_t end = wall_clock_millis();
    if (!trace.close()) throw fatal_error(format("Error: cannot write file %s!\n", trace.path().c_str()));

    print_report(figures, result.byLength, static_cast<double>(end - start) * 0.001);
    return 0;
}

}  // namespace

int korv_main(int argc, char** argv, bool write_patterns, korvcore::RunHost* host) {
    int status = -1;
    try {
        status = run(argc, argv, write_patterns, host);
    } catch (const fatal_error& error) {
        std::fputs(error.what(), stdout);
    } catch (const korv::AllocationFailure& failure) {
        if (host != nullptr && host->reportsMemoryFailure()) throw;
        std::fputs(alloc_error(failure.bytes()).c_str(), stdout);
    }
    std::fflush(stdout);
    return status;
}

}  // namespace korv
